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

// HS256, HS384 and HS512 signatures.
class TzorHTTP_JWT_HMAC : public TzorHTTP_JWT_Base {
 public:
  TBytes Sign(int bits, const TBytes& aValue, const TBytes& aKey) const override;
  // An empty secret never verifies: anyone could forge with it.
  bool Validate(int bits, std::string_view aHeader, std::string_view aPayload,
                std::string_view aSecret, std::string_view aSignature) const override;

  TBytes SignHMAC256(const TBytes& aValue, const TBytes& aKey) const { return Sign(256, aValue, aKey); }
  TBytes SignHMAC384(const TBytes& aValue, const TBytes& aKey) const { return Sign(384, aValue, aKey); }
  TBytes SignHMAC512(const TBytes& aValue, const TBytes& aKey) const { return Sign(512, aValue, aKey); }
  bool ValidateHMAC256(std::string_view h, std::string_view p, std::string_view secret, std::string_view sig) const {
    return Validate(256, h, p, secret, sig);
  }
  bool ValidateHMAC384(std::string_view h, std::string_view p, std::string_view secret, std::string_view sig) const {
    return Validate(384, h, p, secret, sig);
  }
  bool ValidateHMAC512(std::string_view h, std::string_view p, std::string_view secret, std::string_view sig) const {
    return Validate(512, h, p, secret, sig);
  }
};

// RS256, RS384 and RS512 signatures.
class TzorHTTP_JWT_RSA : public TzorHTTP_JWT_Base {
 public:
  TBytes Sign(int bits, const TBytes& aValue, const TBytes& aKey) const override;
  bool Validate(int bits, std::string_view aHeader, std::string_view aPayload,
                std::string_view aPublicKey, std::string_view aSignature) const override;

  TBytes SignRSA256(const TBytes& aValue, const TBytes& aKey) const { return Sign(256, aValue, aKey); }
  TBytes SignRSA384(const TBytes& aValue, const TBytes& aKey) const { return Sign(384, aValue, aKey); }
  TBytes SignRSA512(const TBytes& aValue, const TBytes& aKey) const { return Sign(512, aValue, aKey); }
  bool ValidateRSA256(std::string_view h, std::string_view p, std::string_view key, std::string_view sig) const {
    return Validate(256, h, p, key, sig);
  }
  bool ValidateRSA384(std::string_view h, std::string_view p, std::string_view key, std::string_view sig) const {
    return Validate(384, h, p, key, sig);
  }
  bool ValidateRSA512(std::string_view h, std::string_view p, std::string_view key, std::string_view sig) const {
    return Validate(512, h, p, key, sig);
  }
};

// The key's curve must be the algorithm's: P-256 for ES256, P-384 for ES384,
// P-521 for ES512. Signatures are R and S, each left-padded to the curve's
// size (64, 96 or 132 bytes in all).
class TzorHTTP_JWT_ES : public TzorHTTP_JWT_Base {
 public:
  TBytes Sign(int bits, const TBytes& aValue, const TBytes& aKey) const override;
  bool Validate(int bits, std::string_view aHeader, std::string_view aPayload,
                std::string_view aPublicKey, std::string_view aSignature) const override;

  TBytes SignES256(const TBytes& aValue, const TBytes& aKey) const { return Sign(256, aValue, aKey); }
  TBytes SignES384(const TBytes& aValue, const TBytes& aKey) const { return Sign(384, aValue, aKey); }
  TBytes SignES512(const TBytes& aValue, const TBytes& aKey) const { return Sign(512, aValue, aKey); }
  bool ValidateES256(std::string_view h, std::string_view p, std::string_view key, std::string_view sig) const {
    return Validate(256, h, p, key, sig);
  }
  bool ValidateES384(std::string_view h, std::string_view p, std::string_view key, std::string_view sig) const {
    return Validate(384, h, p, key, sig);
  }
  bool ValidateES512(std::string_view h, std::string_view p, std::string_view key, std::string_view sig) const {
    return Validate(512, h, p, key, sig);
  }
};

// Size of an ES signature for the SHA-2 size: 64, 96 or 132 bytes; 0 otherwise.
size_t ESSignatureSize(int bits);

}  // namespace zor
