#include "auth/jwt_server.h"

#include "auth/bearer_token.h"
#include "auth/jwt_algorithm.h"
#include "auth/jwt_helpers.h"
#include "base/exceptions.h"
#include "json/json.h"

#include <charconv>

namespace zor {

namespace {

// The three dot-separated parts; blanks anywhere make the token malformed.
bool SplitToken(const std::string& token, std::string parts[3]) {
  if (token.find_first_of(" \t\r\n") != std::string::npos) return false;
  const size_t first = token.find('.');
  if (first == std::string::npos) return false;
  const size_t second = token.find('.', first + 1);
  if (second == std::string::npos || token.find('.', second + 1) != std::string::npos) return false;
  parts[0] = token.substr(0, first);
  parts[1] = token.substr(first + 1, second - first - 1);
  parts[2] = token.substr(second + 1);
  return true;
}

// Parts carry UTF-8 JSON.
std::string DecodePart(const std::string& part) { return BytesToUTF8Text(Base64ToBytes(Base64URLToBase64(part))); }

// A NumericDate: a JSON number, fractions and exponents included. Strings,
// Booleans and anything else are not times.
bool NumericDate(TzorJSON& json, const char* name, bool& present, double& value) {
  IzorObjectJSON node = json.Node(name);
  present = static_cast<bool>(node);
  if (!present || node->JSONType() != zorJSONNumber) return false;
  std::string text = node->ValueText();
  if (!text.empty() && text.front() == '+') text.erase(0, 1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

int64_t TzorHTTPComponentServer_JWT::NowUnixSeconds() const { return UnixSecondsNow(); }

bool TzorHTTPComponentServer_JWT::IsJWTTokenValid(TzorWSConnection* aConnection,
                                                  const std::vector<std::string>& aHeaders) {
  if (OnJWTBeforeRequest) {
    bool cancel = false;
    OnJWTBeforeRequest(this, aConnection, aHeaders, cancel);
    if (cancel) return true;
  }
  const std::string token = FindBearerToken(aHeaders);
  return !token.empty() && IsJWTTokenValid(aConnection, token);
}

bool TzorHTTPComponentServer_JWT::IsJWTTokenValid(TzorWSConnection* aConnection, const std::string& aToken) {
  try {
    if (OnJWTBeforeValidateToken) {
      bool cancel = false;
      OnJWTBeforeValidateToken(this, aConnection, aToken, cancel);
      if (cancel) return false;
    }
    std::string header, payload, error;
    bool valid = CheckSignature(aConnection, aToken, header, payload, error);
    if (!valid && error.empty()) error = "Invalid signature";
    if (valid) valid = CheckClaims(payload, error);
    if (OnJWTAfterValidateToken) OnJWTAfterValidateToken(this, aConnection, aToken, header, payload, error, valid);
    return valid;
  } catch (const std::exception& e) {
    // A check that failed half-way never counts as valid.
    if (OnJWTException) OnJWTException(this, aConnection, e);
    return false;
  }
}

bool TzorHTTPComponentServer_JWT::IsJWTUnauthorized(TzorWSConnection* aConnection) {
  bool disconnect = true;
  if (OnJWTUnauthorized) OnJWTUnauthorized(this, aConnection, disconnect);
  return disconnect;
}

bool TzorHTTPComponentServer_JWT::Validate(const std::string& aJWT, std::string& aHeader, std::string& aPayload,
                                           std::string& aError) {
  aError.clear();
  return CheckSignature(nullptr, aJWT, aHeader, aPayload, aError);
}

bool TzorHTTPComponentServer_JWT::CheckSignature(TzorWSConnection* aConnection, const std::string& aToken,
                                                 std::string& aHeader, std::string& aPayload, std::string& aError) {
  std::string parts[3];
  if (!SplitToken(aToken, parts)) throw Exception("JWT is invalid, cannot be splitted.");
  const std::string header = DecodePart(parts[0]);
  const std::string payload = DecodePart(parts[1]);
  TzorJSON header_json;
  header_json.Read(header);
  const IzorObjectJSON alg_node = header_json.Node("alg");
  const TzorHTTP_JWT_Algorithm alg =
      alg_node && alg_node->JSONType() == zorJSONString ? TextToJWTAlgorithm(alg_node->ValueText()) : jwtNone;

  const TzorHTTP_JWT_Base* verifier = nullptr;
  const TzorHTTP_JWT_Server_Algorithm_Options* options = nullptr;
  const char* family_name = "";
  const auto& algorithms = FJWTOptions.Algorithms();
  switch (JWTAlgorithmFamily(alg)) {
    case TJWTFamily::HMAC: verifier = &FJWTHMAC; options = &algorithms.HS(); family_name = "HS"; break;
    case TJWTFamily::RSA: verifier = &FJWTRSA; options = &algorithms.RS(); family_name = "RS"; break;
    case TJWTFamily::ECDSA: verifier = &FJWTES; options = &algorithms.ES(); family_name = "ES"; break;
    case TJWTFamily::None: throw Exception("JWT cannot be validated");
  }
  bool valid = false;
  if (options->Enabled()) {
    std::string key = options->KeyText();
    if (OnJWTBeforeValidateSignature) OnJWTBeforeValidateSignature(this, aConnection, header, payload, key);
    valid = verifier->Validate(JWTAlgorithmDigestBits(alg), parts[0], parts[1], key, parts[2]);
  } else {
    aError += std::string(family_name) + " Algorithm not supported";
  }
  aHeader = header;
  aPayload = payload;
  return valid;
}

bool TzorHTTPComponentServer_JWT::CheckClaims(const std::string& aPayload, std::string& aError) const {
  TzorJSON json;
  json.Read(aPayload);
  const auto& validations = FJWTOptions.Validations();
  const double now = static_cast<double>(NowUnixSeconds());
  struct Claim {
    bool checked;
    const char* name;
    bool (*outside)(double now, double claim);
    const char* message;
  };
  const Claim claims[] = {
      {validations.Issued(), "iat", [](double n, double c) { return n < c; }, "Invalid iat value. "},
      {validations.NotBefore(), "nbf", [](double n, double c) { return n < c; }, "Invalid nbf value. "},
      {validations.Expiration(), "exp", [](double n, double c) { return n > c; }, "Invalid exp value. "},
  };
  bool valid = true;
  for (const Claim& claim : claims) {
    if (!claim.checked) continue;
    bool present = false;
    double value = 0;
    const bool number = NumericDate(json, claim.name, present, value);
    if (!present) continue;
    // A time claim that is not a number cannot be checked: it fails.
    if (!number || claim.outside(now, value)) {
      aError += claim.message;
      valid = false;
    }
  }
  return valid;
}

}  // namespace zor
