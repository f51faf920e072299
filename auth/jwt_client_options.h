#pragma once
// Options of the JWT client component: the claims of the tokens it signs,
// the key material of each algorithm family, the OpenSSL settings and the
// token lifetime.
#include "auth/jwt_claims.h"
#include "auth/key_lines.h"
#include "base/persistent.h"
#include "http/tls_options.h"

#include <string>

namespace zor {

// Base of the key options of one signing algorithm family.
class TzorHTTP_JWT_Client_Algorithm_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Client_Algorithm_Options"; }
};

// The shared secret of HS signing.
class TzorHTTP_JWT_Client_HS_Options : public TzorHTTP_JWT_Client_Algorithm_Options {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Client_HS_Options"; }
  void Assign(const TPersistent& source) override;

  const std::string& Secret() const { return FSecret; }
  void SetSecret(std::string aValue) { FSecret = std::move(aValue); }

 private:
  std::string FSecret;
};

// A PEM private key held as lines (RS and ES).
class TzorHTTP_JWT_Client_PrivateKey_Options : public TzorHTTP_JWT_Client_Algorithm_Options {
 public:
  // From an object of the same class: the lines.
  void Assign(const TPersistent& source) override;

  const TzorKeyLines& PrivateKey() const { return FPrivateKey; }
  void SetPrivateKey(const TzorKeyLines& aLines) { FPrivateKey = aLines; }
  void SetPrivateKeyText(std::string_view aText) { FPrivateKey = SplitKeyLines(aText); }

 private:
  TzorKeyLines FPrivateKey;
};

// The private key of RS signing.
class TzorHTTP_JWT_Client_RS_Options : public TzorHTTP_JWT_Client_PrivateKey_Options {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Client_RS_Options"; }
};

// The private key of ES signing.
class TzorHTTP_JWT_Client_ES_Options : public TzorHTTP_JWT_Client_PrivateKey_Options {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Client_ES_Options"; }
};

// The signing keys of the three algorithm families.
class TzorHTTP_JWT_Client_Algorithms_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Client_Algorithms_Options"; }
  // Copies ES, HS, RS.
  void Assign(const TPersistent& source) override;

  TzorHTTP_JWT_Client_ES_Options& ES() { return FES; }
  const TzorHTTP_JWT_Client_ES_Options& ES() const { return FES; }
  TzorHTTP_JWT_Client_HS_Options& HS() { return FHS; }
  const TzorHTTP_JWT_Client_HS_Options& HS() const { return FHS; }
  TzorHTTP_JWT_Client_RS_Options& RS() { return FRS; }
  const TzorHTTP_JWT_Client_RS_Options& RS() const { return FRS; }

 private:
  TzorHTTP_JWT_Client_ES_Options FES;
  TzorHTTP_JWT_Client_HS_Options FHS;
  TzorHTTP_JWT_Client_RS_Options FRS;
};

// Options of the JWT client component.
class TzorHTTP_JWT_Client_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWT_Client_Options"; }
  // Copies the header, the payload, the algorithms, RefreshTokenAfter and
  // the OpenSSL options.
  void Assign(const TPersistent& source) override;

  TzorHTTP_JWT_Client_Algorithms_Options& Algorithms() { return FAlgorithms; }
  const TzorHTTP_JWT_Client_Algorithms_Options& Algorithms() const { return FAlgorithms; }
  TzorHTTP_JWTHeader& Header() { return FHeader; }
  const TzorHTTP_JWTHeader& Header() const { return FHeader; }
  TzorSocketOpenSSL_Options& OpenSSL_Options() { return FOpenSSL_Options; }
  const TzorSocketOpenSSL_Options& OpenSSL_Options() const { return FOpenSSL_Options; }
  TzorHTTP_JWTPayload& Payload() { return FPayload; }
  const TzorHTTP_JWTPayload& Payload() const { return FPayload; }
  // Seconds; when greater than 0 every token gets "iat" now and "exp" that
  // much later, and the HTTP client asks for a new token after it.
  int RefreshTokenAfter() const { return FRefreshTokenAfter; }
  void SetRefreshTokenAfter(int aValue) { FRefreshTokenAfter = aValue; }

 private:
  TzorHTTP_JWT_Client_Algorithms_Options FAlgorithms;
  TzorHTTP_JWTHeader FHeader;
  TzorSocketOpenSSL_Options FOpenSSL_Options;
  TzorHTTP_JWTPayload FPayload;
  int FRefreshTokenAfter = 0;
};

}  // namespace zor
