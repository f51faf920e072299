#include "auth/jwt_helpers.h"
#include "auth/jwt_signers.h"

#include "base/exceptions.h"
#include "base/format.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <memory>

namespace zor {

namespace {

// One context per digest with the digest already set; each call works on a
// copy, which skips fetching the digest again.
const EVP_MAC_CTX* Prototype(int bits) {
  static EVP_MAC* const mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  auto make = [](const char* digest) -> EVP_MAC_CTX* {
    EVP_MAC_CTX* ctx = mac ? EVP_MAC_CTX_new(mac) : nullptr;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(digest), 0),
        OSSL_PARAM_construct_end()};
    if (ctx && EVP_MAC_CTX_set_params(ctx, params) != 1) {
      EVP_MAC_CTX_free(ctx);
      ERR_clear_error();
      return nullptr;
    }
    return ctx;
  };
  static EVP_MAC_CTX* const sha256 = make("SHA2-256");
  static EVP_MAC_CTX* const sha384 = make("SHA2-384");
  static EVP_MAC_CTX* const sha512 = make("SHA2-512");
  switch (bits) {
    case 256: return sha256;
    case 384: return sha384;
    case 512: return sha512;
    default: throw Exception("Unsupported signing algorithm!");
  }
}

TBytes HMAC(int bits, const uint8_t* data, size_t size, const uint8_t* key, size_t key_size) {
  const EVP_MAC_CTX* prototype = Prototype(bits);
  std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> ctx(
      prototype ? EVP_MAC_CTX_dup(prototype) : nullptr, EVP_MAC_CTX_free);
  // A null key means "keep the previous one" to OpenSSL; an empty secret is
  // passed as a zero-length key instead.
  static const uint8_t kNoKey = 0;
  TBytes out(EVP_MAX_MD_SIZE);
  size_t length = 0;
  const bool ok = ctx && EVP_MAC_init(ctx.get(), key_size ? key : &kNoKey, key_size, nullptr) == 1 &&
                  EVP_MAC_update(ctx.get(), data, size) == 1 &&
                  EVP_MAC_final(ctx.get(), out.data(), &length, out.size()) == 1;
  if (!ok) {
    ERR_clear_error();
    throw Exception(Format("SHA%d hashing is not available!", bits));
  }
  out.resize(length);
  return out;
}

}  // namespace

TBytes TzorHTTP_JWT_HMAC::Sign(int bits, const TBytes& aValue, const TBytes& aKey) const {
  return HMAC(bits, aValue.data(), aValue.size(), aKey.data(), aKey.size());
}

bool TzorHTTP_JWT_HMAC::Validate(int bits, std::string_view aHeader, std::string_view aPayload,
                                 std::string_view aSecret, std::string_view aSignature) const {
  if (aSecret.empty()) return false;
  const std::string input = SigningInput(aHeader, aPayload);
  const TBytes mac = HMAC(bits, reinterpret_cast<const uint8_t*>(input.data()), input.size(),
                          reinterpret_cast<const uint8_t*>(aSecret.data()), aSecret.size());
  // The encoded forms are compared, so a signature has exactly one spelling.
  const std::string expected = EncodeJWTPart(mac);
  return expected.size() == aSignature.size() &&
         CRYPTO_memcmp(expected.data(), aSignature.data(), expected.size()) == 0;
}

}  // namespace zor
