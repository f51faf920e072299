#pragma once
// The header and payload of a token as claim objects that render compact
// JSON: standard claims first, in their fixed order, then custom claims added
// as name=value lines. Every name and string value is escaped and quoted, so
// the text is valid JSON whatever the claims hold.
#include "auth/jwt_algorithm.h"
#include "base/persistent.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

class TzorJSON;

// Base of the token header and payload: claims rendered as compact JSON.
class TzorHTTP_JWTBase_JSON : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWTBase_JSON"; }

  // Appends the line aKey "=" aValue. Values "true" and "false" render as
  // Booleans, values that read as 64-bit integers as numbers, the rest as
  // strings. A custom claim named like a standard one replaces its value.
  void AddKeyValue(std::string_view aKey, std::string_view aValue);
  void AddKeyValue(std::string_view aKey, const char* aValue) { AddKeyValue(aKey, std::string_view(aValue)); }
  void AddKeyValue(std::string_view aKey, bool aValue);
  void ClearKeyValues() { FKeyValue.clear(); }
  const std::vector<std::string>& KeyValues() const { return FKeyValue; }

  // The claims as compact JSON, rendered anew at each call.
  virtual std::string JSONText() const;

 protected:
  // Adds the standard claims of the class, in order.
  virtual void BuildJSON(TzorJSON& aJSON) const = 0;

  // aValue escaped and always quoted (even when it begins like JSON).
  static void AddStringClaim(TzorJSON& aJSON, std::string_view aName, std::string_view aValue);

 private:
  std::vector<std::string> FKeyValue;
};

// The header of a JSON Web Token: alg, typ and kid.
class TzorHTTP_JWTHeader : public TzorHTTP_JWTBase_JSON {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWTHeader"; }
  // Copies alg, kid and typ.
  void Assign(const TPersistent& source) override;

  TzorHTTP_JWT_Algorithm alg() const { return Falg; }
  void Setalg(TzorHTTP_JWT_Algorithm aValue) { Falg = aValue; }
  const std::string& kid() const { return Fkid; }
  void Setkid(std::string aValue) { Fkid = std::move(aValue); }
  const std::string& typ() const { return Ftyp; }
  void Settyp(std::string aValue) { Ftyp = std::move(aValue); }

 protected:
  // "alg", "typ" (always), "kid" (when set).
  void BuildJSON(TzorJSON& aJSON) const override;

 private:
  TzorHTTP_JWT_Algorithm Falg = jwtNone;
  std::string Fkid;
  std::string Ftyp = "JWT";
};

// The payload of a JSON Web Token: the seven registered claims and custom ones.
class TzorHTTP_JWTPayload : public TzorHTTP_JWTBase_JSON {
 public:
  const char* ClassName() const override { return "TzorHTTP_JWTPayload"; }
  // Copies all seven claims.
  void Assign(const TPersistent& source) override;

  const std::string& aud() const { return Faud; }
  void Setaud(std::string aValue) { Faud = std::move(aValue); }
  // Seconds since 1970 UTC; 0 means absent.
  int64_t exp() const { return Fexp; }
  void Setexp(int64_t aValue) { Fexp = aValue; }
  int64_t iat() const { return Fiat; }
  void Setiat(int64_t aValue) { Fiat = aValue; }
  int64_t nbf() const { return Fnbf; }
  void Setnbf(int64_t aValue) { Fnbf = aValue; }
  const std::string& iss() const { return Fiss; }
  void Setiss(std::string aValue) { Fiss = std::move(aValue); }
  const std::string& sub() const { return Fsub; }
  void Setsub(std::string aValue) { Fsub = std::move(aValue); }
  const std::string& jti() const { return Fjti; }
  void Setjti(std::string aValue) { Fjti = std::move(aValue); }

 protected:
  // "iss", "sub", "aud", "jti" when not empty, then "iat", "exp", "nbf" when
  // greater than 0.
  void BuildJSON(TzorJSON& aJSON) const override;

 private:
  std::string Faud;
  int64_t Fexp = 0;
  int64_t Fiat = 0;
  int64_t Fnbf = 0;
  std::string Fiss;
  std::string Fsub;
  std::string Fjti;
};

}  // namespace zor
