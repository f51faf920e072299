#pragma once
// Signers and verifiers of the three JWS families: HMAC (HS*), RSA PKCS#1
// v1.5 (RS*) and ECDSA (ES*), each with SHA-256, SHA-384 or SHA-512. They
// keep no state and may be used from any thread.
//
// Signing takes the signing input and the key as bytes (the HMAC secret, or
// PEM text of a private key) and returns the raw signature. Verifying takes
// the encoded header and payload parts, the key as text (secret or PEM public
// key) and the encoded signature part.
#include "base/bytes.h"

#include <string_view>

namespace zor {

// Base of the JWS signers and verifiers.
class TzorHTTP_JWT_Base {
 public:
  virtual ~TzorHTTP_JWT_Base() = default;

  // `bits` is the SHA-2 size: 256, 384 or 512.
  virtual TBytes Sign(int bits, const TBytes& aValue, const TBytes& aKey) const = 0;
  virtual bool Validate(int bits, std::string_view aHeader, std::string_view aPayload,
                        std::string_view aKey, std::string_view aSignature) const = 0;
};

// What every family declares: Sign and Validate for a SHA-2 size, and the
// per-size operations under the family's name (SignHMAC256 ... ValidateES512)
// that forward to them.
#define ZOR_JWT_FAMILY_OPERATIONS(Family)                                                                    \
  TBytes Sign(int bits, const TBytes& aValue, const TBytes& aKey) const override;                           \
  bool Validate(int bits, std::string_view aHeader, std::string_view aPayload, std::string_view aKey,       \
                std::string_view aSignature) const override;                                                \
  TBytes Sign##Family##256(const TBytes& aValue, const TBytes& aKey) const { return Sign(256, aValue, aKey); } \
  TBytes Sign##Family##384(const TBytes& aValue, const TBytes& aKey) const { return Sign(384, aValue, aKey); } \
  TBytes Sign##Family##512(const TBytes& aValue, const TBytes& aKey) const { return Sign(512, aValue, aKey); } \
  bool Validate##Family##256(std::string_view h, std::string_view p, std::string_view key,                  \
                             std::string_view sig) const {                                                  \
    return Validate(256, h, p, key, sig);                                                                   \
  }                                                                                                         \
  bool Validate##Family##384(std::string_view h, std::string_view p, std::string_view key,                  \
                             std::string_view sig) const {                                                  \
    return Validate(384, h, p, key, sig);                                                                   \
  }                                                                                                         \
  bool Validate##Family##512(std::string_view h, std::string_view p, std::string_view key,                  \
                             std::string_view sig) const {                                                  \
    return Validate(512, h, p, key, sig);                                                                   \
  }

// HS256, HS384 and HS512 signatures. The key is the shared secret; an empty
// secret never verifies (anyone could forge with it).
class TzorHTTP_JWT_HMAC : public TzorHTTP_JWT_Base {
 public:
  ZOR_JWT_FAMILY_OPERATIONS(HMAC)
};

// RS256, RS384 and RS512 signatures. Signing takes a PEM private key,
// validating a PEM public key.
class TzorHTTP_JWT_RSA : public TzorHTTP_JWT_Base {
 public:
  ZOR_JWT_FAMILY_OPERATIONS(RSA)
};

// ES256, ES384 and ES512 signatures, keys as RSA; the key's curve must be
// the algorithm's: P-256 for ES256, P-384 for ES384, P-521 for ES512. Signatures are R and S, each left-padded to the
// curve's size (64, 96 or 132 bytes in all).
class TzorHTTP_JWT_ES : public TzorHTTP_JWT_Base {
 public:
  ZOR_JWT_FAMILY_OPERATIONS(ES)
};

#undef ZOR_JWT_FAMILY_OPERATIONS

// Size of an ES signature for the SHA-2 size: 64, 96 or 132 bytes; 0 otherwise.
size_t ESSignatureSize(int bits);

}  // namespace zor
