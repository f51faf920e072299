#include "auth/jwt_helpers.h"
#include "auth/jwt_openssl.h"
#include "auth/jwt_signers.h"

#include "base/exceptions.h"

namespace zor {

using namespace jwt_openssl;

TBytes TzorHTTP_JWT_RSA::Sign(int bits, const TBytes& aValue, const TBytes& aKey) const {
  const KeyPtr key = LoadPrivateKey(std::string_view(reinterpret_cast<const char*>(aKey.data()), aKey.size()));
  if (!key) throw Exception("Unable to load private key");
  if (!IsRSAKey(key.get())) throw Exception("Unable to extract private key");
  const EVP_MD* md = Digest(bits);
  if (!md) throw Exception("Unsupported signing algorithm!");
  return DigestSign(key.get(), md, aValue.data(), aValue.size(), "Unable to sign RSA");
}

bool TzorHTTP_JWT_RSA::Validate(int bits, std::string_view aHeader, std::string_view aPayload,
                                std::string_view aPublicKey, std::string_view aSignature) const {
  const KeyPtr key = LoadPublicKey(aPublicKey);
  if (!key || !IsRSAKey(key.get())) throw Exception("Cannot Load Public Key.");
  const EVP_MD* md = Digest(bits);
  if (!md) throw Exception("[RSA] Unsupported signing algorithm!");
  bool well_formed = false;
  const TBytes signature = DecodeBase64URLPart(aSignature, well_formed);
  if (!well_formed) return false;
  const std::string input = SigningInput(aHeader, aPayload);
  // OpenSSL refuses a signature whose length is not the modulus size.
  return DigestVerify(key.get(), md, reinterpret_cast<const uint8_t*>(input.data()), input.size(),
                      signature.data(), signature.size());
}

}  // namespace zor
