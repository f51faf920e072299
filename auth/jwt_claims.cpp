#include "auth/jwt_claims.h"

#include "base/text.h"
#include "json/json.h"

#include <charconv>

namespace zor {

namespace {

bool ReadsAsInt64(std::string_view text, int64_t& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') {
    ++first;
    if (first != last && *first == '-') return false;
  }
  const auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last;
}

}  // namespace

void TzorHTTP_JWTBase_JSON::AddKeyValue(std::string_view aKey, std::string_view aValue) {
  std::string line(aKey);
  line += '=';
  line += aValue;
  FKeyValue.push_back(std::move(line));
}

void TzorHTTP_JWTBase_JSON::AddKeyValue(std::string_view aKey, bool aValue) {
  AddKeyValue(aKey, std::string_view(aValue ? "true" : "false"));
}

void TzorHTTP_JWTBase_JSON::AddStringClaim(TzorJSON& aJSON, std::string_view aName, std::string_view aValue) {
  // The writer leaves a value that begins with a double quote as it is; any
  // other value beginning with "{" or "[" would be embedded unquoted.
  aJSON.AddPair(aName, "\"" + EscapeJSONString(aValue) + "\"");
}

std::string TzorHTTP_JWTBase_JSON::JSONText() const {
  TzorJSON json;
  BuildJSON(json);
  for (const std::string& line : FKeyValue) {
    const size_t equals = line.find('=');
    const std::string name = EscapeJSONString(std::string_view(line).substr(0, equals));
    const std::string_view value = equals == std::string::npos ? std::string_view() : std::string_view(line).substr(equals + 1);
    int64_t number = 0;
    if (value == "true" || value == "false") {
      json.AddPair(name, value == "true");
    } else if (ReadsAsInt64(value, number)) {
      json.AddPair(name, number);
    } else {
      AddStringClaim(json, name, value);
    }
  }
  return json.Text();
}

void TzorHTTP_JWTHeader::Assign(const TPersistent& source) {
  if (const auto* header = dynamic_cast<const TzorHTTP_JWTHeader*>(&source)) {
    Falg = header->Falg;
    Fkid = header->Fkid;
    Ftyp = header->Ftyp;
    return;
  }
  TPersistent::Assign(source);
}

void TzorHTTP_JWTHeader::BuildJSON(TzorJSON& aJSON) const {
  aJSON.AddPair("alg", "\"" + JWTAlgorithmToText(Falg) + "\"");
  AddStringClaim(aJSON, "typ", Ftyp);
  if (!Fkid.empty()) AddStringClaim(aJSON, "kid", Fkid);
}

void TzorHTTP_JWTPayload::Assign(const TPersistent& source) {
  if (const auto* payload = dynamic_cast<const TzorHTTP_JWTPayload*>(&source)) {
    Faud = payload->Faud;
    Fexp = payload->Fexp;
    Fiat = payload->Fiat;
    Fnbf = payload->Fnbf;
    Fiss = payload->Fiss;
    Fsub = payload->Fsub;
    Fjti = payload->Fjti;
    return;
  }
  TPersistent::Assign(source);
}

void TzorHTTP_JWTPayload::BuildJSON(TzorJSON& aJSON) const {
  const std::pair<const char*, const std::string*> texts[] = {
      {"iss", &Fiss}, {"sub", &Fsub}, {"aud", &Faud}, {"jti", &Fjti}};
  for (const auto& [name, value] : texts)
    if (!value->empty()) AddStringClaim(aJSON, name, *value);
  const std::pair<const char*, int64_t> times[] = {{"iat", Fiat}, {"exp", Fexp}, {"nbf", Fnbf}};
  for (const auto& [name, value] : times)
    if (value > 0) aJSON.AddPair(name, value);
}

}  // namespace zor
