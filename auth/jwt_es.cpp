#include "auth/jwt_helpers.h"
#include "auth/jwt_openssl.h"
#include "auth/jwt_signers.h"

#include "base/exceptions.h"
#include "base/format.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <memory>

namespace zor {

using namespace jwt_openssl;

namespace {

using SigPtr = std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)>;

void CheckCurve(EVP_PKEY* key, int bits) {
  if (ECKeyDigestBits(key) != bits)
    throw Exception(Format("The EC key's curve does not match ES%d", bits));
}

// DER (what OpenSSL produces) to R || S, each left-padded to half the size.
TBytes DERToRaw(const TBytes& der, size_t size) {
  const unsigned char* p = der.data();
  SigPtr sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size())), ECDSA_SIG_free);
  if (!sig) Fail("Unable to sign ECDSA");
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(sig.get(), &r, &s);
  TBytes raw(size);
  const int half = static_cast<int>(size / 2);
  if (BN_bn2binpad(r, raw.data(), half) != half || BN_bn2binpad(s, raw.data() + half, half) != half)
    Fail("Unable to sign ECDSA");
  return raw;
}

TBytes RawToDER(const TBytes& raw) {
  const int half = static_cast<int>(raw.size() / 2);
  SigPtr sig(ECDSA_SIG_new(), ECDSA_SIG_free);
  BIGNUM* r = BN_bin2bn(raw.data(), half, nullptr);
  BIGNUM* s = BN_bin2bn(raw.data() + half, half, nullptr);
  if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    Fail("Error setting ECDSA_SIG values.");
  }
  const int length = i2d_ECDSA_SIG(sig.get(), nullptr);
  if (length <= 0) Fail("Error setting ECDSA_SIG values.");
  TBytes der(static_cast<size_t>(length));
  unsigned char* p = der.data();
  i2d_ECDSA_SIG(sig.get(), &p);
  return der;
}

}  // namespace

size_t ESSignatureSize(int bits) {
  switch (bits) {
    case 256: return 64;
    case 384: return 96;
    case 512: return 132;
    default: return 0;
  }
}

TBytes TzorHTTP_JWT_ES::Sign(int bits, const TBytes& aValue, const TBytes& aKey) const {
  const KeyPtr key = LoadPrivateKey(std::string_view(reinterpret_cast<const char*>(aKey.data()), aKey.size()));
  if (!key) throw Exception("Unable to load private key");
  if (!EVP_PKEY_is_a(key.get(), "EC")) throw Exception("Unable to get EC Key");
  const EVP_MD* md = Digest(bits);
  if (!md) throw Exception("Unsupported signing algorithm!");
  CheckCurve(key.get(), bits);
  const TBytes der = DigestSign(key.get(), md, aValue.data(), aValue.size(), "Unable to sign ECDSA");
  return DERToRaw(der, ESSignatureSize(bits));
}

bool TzorHTTP_JWT_ES::Validate(int bits, std::string_view aHeader, std::string_view aPayload,
                               std::string_view aPublicKey, std::string_view aSignature) const {
  const KeyPtr key = LoadPublicKey(aPublicKey);
  if (!key) throw Exception("Cannot Load Public Key.");
  if (!EVP_PKEY_is_a(key.get(), "EC")) throw Exception("Cannot get EC_KEY.");
  const EVP_MD* md = Digest(bits);
  if (!md) throw Exception("Unsupported signing algorithm!");
  CheckCurve(key.get(), bits);
  bool well_formed = false;
  const TBytes raw = DecodeBase64URLPart(aSignature, well_formed);
  if (!well_formed || raw.size() != ESSignatureSize(bits)) return false;
  const TBytes der = RawToDER(raw);
  const std::string input = SigningInput(aHeader, aPayload);
  return DigestVerify(key.get(), md, reinterpret_cast<const uint8_t*>(input.data()), input.size(),
                      der.data(), der.size());
}

}  // namespace zor
