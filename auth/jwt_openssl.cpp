#include "auth/jwt_openssl.h"

#include "base/exceptions.h"

#include <openssl/decoder.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/objects.h>

#include <mutex>
#include <unordered_map>

namespace zor::jwt_openssl {

namespace {

// Refusing to supply a pass phrase makes an encrypted key fail to load
// instead of OpenSSL's default of prompting on the terminal.
int RefusePassphrase(char*, size_t, size_t*, const OSSL_PARAM*, void*) { return 0; }

KeyPtr Decode(std::string_view pem, int selection) {
  EVP_PKEY* key = nullptr;
  OSSL_DECODER_CTX* ctx =
      OSSL_DECODER_CTX_new_for_pkey(&key, "PEM", nullptr, nullptr, selection, nullptr, nullptr);
  if (!ctx) return nullptr;
  OSSL_DECODER_CTX_set_passphrase_cb(ctx, RefusePassphrase, nullptr);
  auto data = reinterpret_cast<const unsigned char*>(pem.data());
  size_t size = pem.size();
  const bool ok = OSSL_DECODER_from_data(ctx, &data, &size) == 1;
  OSSL_DECODER_CTX_free(ctx);
  if (!ok || !key) {
    EVP_PKEY_free(key);
    ERR_clear_error();  // a stale entry would confuse the next TLS call on this thread
    return nullptr;
  }
  return KeyPtr(key, EVP_PKEY_free);
}

// Parsed keys by selection and PEM text. Bounded: cleared when full, since a
// process signs with a handful of keys and re-reading one is only slower.
class KeyCache {
 public:
  KeyPtr Get(std::string_view pem, int selection) {
    std::string id = std::to_string(selection) + ':';
    id += pem;
    {
      std::lock_guard guard(lock_);
      if (auto it = keys_.find(id); it != keys_.end()) return it->second;
    }
    KeyPtr key = Decode(pem, selection);
    if (!key) return nullptr;
    std::lock_guard guard(lock_);
    if (keys_.size() >= kMaxKeys) keys_.clear();
    keys_.emplace(std::move(id), key);
    return key;
  }

 private:
  static constexpr size_t kMaxKeys = 64;
  std::mutex lock_;
  std::unordered_map<std::string, KeyPtr> keys_;
};

// Never destroyed: freeing keys after OpenSSL's own exit handler has run
// would touch released state.
KeyCache& Cache() {
  static auto* const cache = new KeyCache;
  return *cache;
}

}  // namespace

KeyPtr LoadPrivateKey(std::string_view pem) { return Cache().Get(pem, EVP_PKEY_KEYPAIR); }

KeyPtr LoadPublicKey(std::string_view pem) { return Cache().Get(pem, EVP_PKEY_PUBLIC_KEY); }

bool IsRSAKey(EVP_PKEY* key) { return EVP_PKEY_is_a(key, "RSA") == 1; }

int ECKeyDigestBits(EVP_PKEY* key) {
  if (EVP_PKEY_is_a(key, "EC") != 1) return 0;
  char name[80];
  size_t length = 0;
  if (EVP_PKEY_get_group_name(key, name, sizeof name, &length) != 1) return 0;
  switch (OBJ_txt2nid(name)) {
    case NID_X9_62_prime256v1: return 256;
    case NID_secp384r1: return 384;
    case NID_secp521r1: return 512;
    default: return 0;
  }
}

const EVP_MD* Digest(int bits) {
  static const EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
  static const EVP_MD* const sha384 = EVP_MD_fetch(nullptr, "SHA2-384", nullptr);
  static const EVP_MD* const sha512 = EVP_MD_fetch(nullptr, "SHA2-512", nullptr);
  switch (bits) {
    case 256: return sha256;
    case 384: return sha384;
    case 512: return sha512;
    default: return nullptr;
  }
}

[[noreturn]] void Fail(const char* message) {
  ERR_clear_error();
  throw Exception(message);
}

TBytes DigestSign(EVP_PKEY* key, const EVP_MD* md, const uint8_t* data, size_t size,
                  const char* final_error) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, md, nullptr, key) != 1)
    Fail("Unable to init context");
  if (EVP_DigestSignUpdate(ctx.get(), data, size) != 1)
    Fail("Unable to update context with payload");
  size_t length = 0;
  if (EVP_DigestSignFinal(ctx.get(), nullptr, &length) != 1) Fail(final_error);
  TBytes signature(length);
  if (EVP_DigestSignFinal(ctx.get(), signature.data(), &length) != 1) Fail(final_error);
  signature.resize(length);
  return signature;
}

bool DigestVerify(EVP_PKEY* key, const EVP_MD* md, const uint8_t* data, size_t size,
                  const uint8_t* signature, size_t signature_size) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  const bool ok = ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, md, nullptr, key) == 1 &&
                  EVP_DigestVerify(ctx.get(), signature, signature_size, data, size) == 1;
  if (!ok) ERR_clear_error();
  return ok;
}

}  // namespace zor::jwt_openssl
