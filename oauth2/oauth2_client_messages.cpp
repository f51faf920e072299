#include "oauth2/oauth2_client_messages.h"

#include "json/json.h"
#include "json/json_escape.h"
#include "oauth2/form_fields.h"
#include "oauth2/oauth2_http.h"

namespace zor {

namespace {

void AddClient(TzorFormPairs& pairs, const TzorOAuth2ClientCredentials& client) {
  if (!client.ClientId.empty()) pairs.emplace_back("client_id", client.ClientId);
  if (!client.ClientSecret.empty()) pairs.emplace_back("client_secret", client.ClientSecret);
}

// Reads the text members of a JSON object; false for anything else.
bool ReadMembers(const std::string& body, const std::vector<std::pair<const char*, std::string*>>& members) {
  const size_t first = body.find_first_not_of(" \t\r\n");
  if (first == std::string::npos || body[first] != '{') return false;
  TzorJSON json;
  json.Read(body);
  for (const auto& [name, value] : members) {
    const IzorObjectJSON node = json.Node(name);
    if (!node || node->JSONType() == zorJSONObject || node->JSONType() == zorJSONList ||
        node->JSONType() == zorJSONNull) continue;
    if (!UnescapeJSONText(node->ValueText(), *value)) value->clear();
  }
  return true;
}

}  // namespace

TzorFormPairs AuthorizeParams(const std::string& aClientId, const std::string& aRedirectURI,
                              const std::string& aScope, const std::string& aState,
                              const std::string& aCodeChallenge) {
  TzorFormPairs pairs{{"response_type", "code"}};
  if (!aClientId.empty()) pairs.emplace_back("client_id", aClientId);
  if (!aRedirectURI.empty()) pairs.emplace_back("redirect_uri", aRedirectURI);
  pairs.emplace_back("scope", aScope);
  pairs.emplace_back("state", aState);
  if (!aCodeChallenge.empty()) {
    pairs.emplace_back("code_challenge", aCodeChallenge);
    pairs.emplace_back("code_challenge_method", "S256");
  }
  return pairs;
}

std::string AuthorizeURL(const std::string& aAuthURL, const TzorFormPairs& aParams) {
  return AppendQuery(aAuthURL, aParams);
}

TzorFormPairs CodeTokenForm(const std::string& aCode, const std::string& aRedirectURI,
                            const std::string& aCodeVerifier, const TzorOAuth2ClientCredentials& aClient) {
  TzorFormPairs pairs{{"grant_type", "authorization_code"}, {"code", aCode}};
  if (!aRedirectURI.empty()) pairs.emplace_back("redirect_uri", aRedirectURI);
  if (!aCodeVerifier.empty()) pairs.emplace_back("code_verifier", aCodeVerifier);
  AddClient(pairs, aClient);
  return pairs;
}

TzorFormPairs ClientCredentialsTokenForm(const std::string& aScope, const std::string& aRedirectURI,
                                         const TzorOAuth2ClientCredentials& aClient) {
  TzorFormPairs pairs{{"grant_type", "client_credentials"}};
  if (!aScope.empty()) pairs.emplace_back("scope", aScope);
  if (!aRedirectURI.empty()) pairs.emplace_back("redirect_uri", aRedirectURI);
  AddClient(pairs, aClient);
  return pairs;
}

TzorFormPairs RefreshTokenForm(const std::string& aRefreshToken, const std::string& aScope,
                               const TzorOAuth2ClientCredentials& aClient) {
  TzorFormPairs pairs{{"grant_type", "refresh_token"}, {"refresh_token", aRefreshToken}};
  if (!aScope.empty()) pairs.emplace_back("scope", aScope);
  AddClient(pairs, aClient);
  return pairs;
}

bool ReadTokenAnswer(const std::string& aBody, TzorOAuth2TokenAnswer& aAnswer) {
  aAnswer = {};
  return ReadMembers(aBody, {{"access_token", &aAnswer.Access_Token},
                             {"token_type", &aAnswer.Token_Type},
                             {"expires_in", &aAnswer.Expires_In},
                             {"refresh_token", &aAnswer.Refresh_Token},
                             {"scope", &aAnswer.Scope}});
}

bool ReadErrorAnswer(const std::string& aBody, TzorOAuth2ErrorAnswer& aAnswer) {
  aAnswer = {};
  return ReadMembers(aBody, {{"error", &aAnswer.Error},
                             {"error_description", &aAnswer.Error_Description},
                             {"error_uri", &aAnswer.Error_URI}});
}

TzorOAuth2Redirect ReadRedirect(const std::string& aRequestLine) {
  TzorOAuth2Redirect redirect;
  const TzorOAuth2HTTPRequest request = ReadOAuth2HTTPRequest({aRequestLine}, "");
  redirect.Path = request.Path;
  redirect.RawParams = request.Query;
  TzorFormFields fields;
  if (request.Method != "GET" || !fields.Parse(request.Query)) return redirect;
  redirect.Valid = true;
  for (const auto& [name, value] : fields.Pairs()) {
    if (name == "code") redirect.Code = value;
    else if (name == "state") redirect.State = value;
    else if (name == "scope") redirect.Scope = value;
    else if (name == "error") redirect.Error = value;
    else if (name == "error_description") redirect.Error_Description = value;
    else if (name == "error_uri") redirect.Error_URI = value;
  }
  return redirect;
}

}  // namespace zor
