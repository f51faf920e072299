// The token address of the OAuth2 server: the authorization-code,
// client-credentials and refresh-token grants. Every refusal is an HTTP 400
// (401 for a client that authenticated by Basic) with the JSON error body of
// RFC 6749 section 5.2, and leaves the requests as they were.
#include "base/format.h"
#include "base/text.h"
#include "base/url.h"
#include "oauth2/oauth2_server.h"
#include "oauth2/pkce.h"
#include "server/secrets.h"

#include <optional>

namespace zor {

struct TzorHTTPComponentServer_OAuth2::TokenRequest {
  TzorFormFields Form;
  std::string ClientId;
  std::string ClientSecret;
  bool Basic = false;
};

namespace {

struct TokenError {
  std::string Error;
  std::string Description;
};

// Token answers are never cached (RFC 6749 5.1).
const std::vector<std::string> kTokenHeaders{"Cache-Control: no-store", "Pragma: no-cache"};

std::string JSONPair(const char* name, const std::string& value) {
  return std::string("\"") + name + "\":\"" + EscapeJSONString(value) + "\"";
}

TzorOAuth2HTTPAnswer ErrorAnswer(const TokenError& error, bool basic) {
  const std::string body =
      "{" + JSONPair("error", error.Error) + "," + JSONPair("error_description", error.Description) + "}";
  std::vector<std::string> headers = kTokenHeaders;
  // A client that tried Basic credentials is told so (RFC 6749 5.2).
  const bool challenge = basic && error.Error == "invalid_client";
  if (challenge) headers.push_back(std::string("WWW-Authenticate: Basic realm=\"") + kServerSoftware + "\"");
  return TzorOAuth2HTTPAnswer::Content(challenge ? 401 : 400, "application/json", body, std::move(headers));
}

TzorOAuth2HTTPAnswer TokenAnswer(const TzorHTTPOAuth2Request& request, TzorOAuth2Time now) {
  std::string body = "{" + JSONPair("token_type", "Bearer") + "," + JSONPair("access_token", request.Token.AccessToken) +
                     ",\"expires_in\":" + std::to_string(request.Token.ExpiresIn(now));
  if (!request.Token.RefreshToken.empty()) body += "," + JSONPair("refresh_token", request.Token.RefreshToken);
  body += "," + JSONPair("scope", request.Scope) + "}";
  return TzorOAuth2HTTPAnswer::Content(200, "application/json", body, kTokenHeaders);
}

// The checks every grant makes of the client against the request; nullopt
// when it passes. The client secret is never shown.
std::optional<TokenError> CheckClient(const TzorHTTPOAuth2Request& request, const std::string& clientId,
                                      const std::string& clientSecret) {
  if (clientId != request.Client_Id)
    return TokenError{"invalid_grant", Format("Client_Id %s is different from previous value %s",
                                              request.Client_Id.c_str(), clientId.c_str())};
  if (!request.App) return TokenError{"invalid_client", "Application not found"};
  if (!SecretsEqual(request.App->ClientSecret, clientSecret))
    return TokenError{"invalid_client", "ClientSecret is different from the registered value"};
  if (!request.App->AllowedGrantTypes.Contains(request.GrantType))
    return TokenError{"unauthorized_client", "Currenty GrantType is not Allowed by the Application Configuration"};
  return std::nullopt;
}

void RenewRefreshToken(TzorHTTPOAuth2AccessToken& token, TzorOAuth2Time expires) {
  token.RefreshToken = NewOAuth2TokenText();
  token.RefreshExpires = expires;
}

void Issue(TzorHTTPOAuth2Request& request, TzorOAuth2Time now, TzorOAuth2Time refreshExpires) {
  request.CurrentState = oat2AccessToken;
  request.Token.AccessToken = NewOAuth2TokenText();
  if (request.App->RefreshToken) RenewRefreshToken(request.Token, refreshExpires);
  request.Token.Expires = now + std::chrono::seconds(request.App->ExpiresIn);
}

}  // namespace

TzorOAuth2HTTPAnswer TzorHTTPComponentServer_OAuth2::TokenStep(TzorWSConnection* aConnection,
                                                               const TzorOAuth2HTTPRequest& aRequest) {
  TokenRequest token;
  token.Basic = aRequest.HasBasic;
  if (!token.Form.Parse(aRequest.Body))
    return ErrorAnswer({"invalid_request", "The form is malformed or too large"}, token.Basic);
  const auto repeated = token.Form.Repeated({"grant_type", "code", "redirect_uri", "client_id", "client_secret",
                                             "refresh_token", "scope", "code_verifier"});
  if (!repeated.empty())
    return ErrorAnswer({"invalid_request", "Parameter " + repeated.front() + " is repeated"}, token.Basic);
  if (token.Basic) {
    // Client id and secret are form-encoded inside Basic (RFC 6749 2.3.1),
    // and one request uses one way of authenticating.
    if (!PercentDecodeStrict(aRequest.BasicUser, true, token.ClientId) ||
        !PercentDecodeStrict(aRequest.BasicPassword, true, token.ClientSecret) ||
        token.Form.Count("client_secret") > 0 ||
        (token.Form.Count("client_id") > 0 && token.Form.Value("client_id") != token.ClientId))
      return ErrorAnswer({"invalid_request", "Client credentials are given twice"}, token.Basic);
  } else {
    token.ClientId = token.Form.Value("client_id");
    token.ClientSecret = token.Form.Value("client_secret");
  }
  const std::string grant = token.Form.Value("grant_type");
  if (SameText(grant, "authorization_code")) return ExchangeCode(aConnection, token);
  if (SameText(grant, "client_credentials")) return ClientCredentials(aConnection, token);
  if (SameText(grant, "refresh_token")) return Refresh(aConnection, token);
  if (grant.empty()) return ErrorAnswer({"invalid_request", "Missing parameter: grant_type"}, token.Basic);
  return ErrorAnswer({"unsupported_grant_type", "Unsupported grant_type " + grant}, token.Basic);
}

TzorOAuth2HTTPAnswer TzorHTTPComponentServer_OAuth2::ExchangeCode(TzorWSConnection* aConnection,
                                                                  const TokenRequest& token) {
  const std::string code = token.Form.Value("code");
  if (code.empty()) return ErrorAnswer({"invalid_request", "Missing parameter: code"}, token.Basic);
  const std::string redirect = token.Form.Value("redirect_uri");
  const bool redirectGiven = token.Form.Count("redirect_uri") > 0;
  const TzorOAuth2Time now = Clock();
  TzorHTTPOAuth2Request issued;
  {
    std::lock_guard guard(FRequests.Lock());
    Prune(now);
    TzorHTTPOAuth2RequestPtr request;
    for (const auto& r : FRequests.Items())
      if (r->GrantType == auth2Code && SecretsEqual(r->AuthorizationCode, code)) request = r;
    if (!request)
      return ErrorAnswer({"invalid_grant", Format("Authorization Code not found %s", code.c_str())}, token.Basic);
    // A code is good for one exchange; a replay finds its request past it.
    if (request->CurrentState != oat2AuthorizationCode) return ErrorAnswer({"invalid_grant", "Invalid request"}, token.Basic);
    if (redirectGiven != request->RedirectGiven || redirect != (redirectGiven ? request->Redirect_URI : ""))
      return ErrorAnswer({"invalid_grant", Format("Redirect_URI %s is different from previous value %s",
                                                  request->Redirect_URI.c_str(), redirect.c_str())},
                         token.Basic);
    if (auto error = CheckClient(*request, token.ClientId, token.ClientSecret)) return ErrorAnswer(*error, token.Basic);
    if (!request->CodeChallenge.empty()) {
      const std::string verifier = token.Form.Value("code_verifier");
      if (!IsPKCEVerifier(verifier) || !SecretsEqual(request->CodeChallenge, PKCEChallengeS256(verifier)))
        return ErrorAnswer({"invalid_grant", "The code_verifier does not match the code_challenge"}, token.Basic);
    }
    Issue(*request, now, RefreshTokenExpiry(now));
    issued = *request;
  }
  TzorOAuth2HTTPAnswer answer = TokenAnswer(issued, now);
  if (OnOAuth2AfterAccessToken) OnOAuth2AfterAccessToken(this, aConnection, issued, answer.Body);
  return answer;
}

TzorOAuth2HTTPAnswer TzorHTTPComponentServer_OAuth2::ClientCredentials(TzorWSConnection* aConnection,
                                                                       const TokenRequest& token) {
  auto request = std::make_shared<TzorHTTPOAuth2Request>();
  request->GrantType = auth2ClientCredentials;
  request->CurrentState = oat2AuthorizationCode;
  request->Client_Id = token.ClientId;
  request->Redirect_URI = token.Form.Value("redirect_uri");
  request->Scope = token.Form.Value("scope");
  request->App = GetAppByClientId(token.ClientId);
  if (!request->App) return ErrorAnswer({"invalid_client", "Application not found"}, token.Basic);
  if (auto error = CheckClient(*request, token.ClientId, token.ClientSecret)) return ErrorAnswer(*error, token.Basic);
  const TzorOAuth2Time now = Clock();
  Issue(*request, now, RefreshTokenExpiry(now));
  {
    std::lock_guard guard(FRequests.Lock());
    Prune(now);
    FRequests.Items().push_back(request);
  }
  TzorOAuth2HTTPAnswer answer = TokenAnswer(*request, now);
  if (OnOAuth2AfterAccessToken) OnOAuth2AfterAccessToken(this, aConnection, *request, answer.Body);
  return answer;
}

TzorOAuth2HTTPAnswer TzorHTTPComponentServer_OAuth2::Refresh(TzorWSConnection* aConnection,
                                                             const TokenRequest& token) {
  const std::string refreshToken = token.Form.Value("refresh_token");
  if (refreshToken.empty()) return ErrorAnswer({"invalid_request", "Missing parameter: refresh_token"}, token.Basic);
  const std::string scope = token.Form.Value("scope");
  const TzorOAuth2Time now = Clock();
  TzorHTTPOAuth2Request refreshed;
  {
    std::lock_guard guard(FRequests.Lock());
    Prune(now);
    TzorHTTPOAuth2RequestPtr request;
    for (const auto& r : FRequests.Items())
      if (r->CurrentState == oat2AccessToken && now < r->Token.RefreshExpires &&
          SecretsEqual(r->Token.RefreshToken, refreshToken))
        request = r;
    if (!request)
      return ErrorAnswer({"invalid_grant", Format("Refresh Token not found %s", refreshToken.c_str())}, token.Basic);
    // Without a scope the refresh keeps the granted one (RFC 6749 6).
    if (!scope.empty() && scope != request->Scope)
      return ErrorAnswer(
          {"invalid_scope", Format("Scope %s is different from previous value %s", request->Scope.c_str(), scope.c_str())},
          token.Basic);
    if (auto error = CheckClient(*request, token.ClientId, token.ClientSecret)) return ErrorAnswer(*error, token.Basic);
    // The refresh token is used up: a replay of it finds nothing.
    RenewRefreshToken(request->Token, RefreshTokenExpiry(now));
    request->Token.Expires = now + std::chrono::seconds(request->App->ExpiresIn);
    refreshed = *request;
  }
  TzorOAuth2HTTPAnswer answer = TokenAnswer(refreshed, now);
  if (OnOAuth2AfterRefreshToken) OnOAuth2AfterRefreshToken(this, aConnection, refreshed, answer.Body);
  return answer;
}

}  // namespace zor
