#include "oauth2/oauth2_server.h"

#include "auth/bearer_token.h"
#include "base/random.h"
#include "base/text.h"
#include "oauth2/pkce.h"
#include "oauth2/sign_in_page.h"
#include "server/secrets.h"
#include "websocket/ws_connection.h"

#include <algorithm>
#include <cctype>

namespace zor {

namespace {

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The browser goes back to the application with an error (RFC 6749 4.1.2.1).
TzorOAuth2HTTPAnswer RedirectError(const std::string& redirect, const std::string& error, const std::string& state) {
  std::vector<std::pair<std::string, std::string>> pairs{{"error", error}};
  if (!state.empty()) pairs.emplace_back("state", state);
  return TzorOAuth2HTTPAnswer::Redirect(AppendQuery(redirect, pairs));
}

}  // namespace

bool TzorHTTPComponentServer_OAuth2::RaiseBeforeRequest(TzorWSConnection* aConnection,
                                                        const std::vector<std::string>& aHeaders) {
  bool cancel = false;
  if (OnOAuth2BeforeRequest) OnOAuth2BeforeRequest(this, aConnection, aHeaders, cancel);
  return cancel;
}

TzorOAuth2HTTPAnswer TzorHTTPComponentServer_OAuth2::DoProcessHTTP(TzorWSConnection* aConnection,
                                                                   const TzorOAuth2HTTPRequest& aRequest) {
  if (RaiseBeforeRequest(aConnection, aRequest.Headers)) {
    TzorOAuth2HTTPAnswer answer;
    answer.Kind = TzorOAuth2AnswerKind::oakNothing;
    return answer;
  }
  const auto& authorization = FOAuth2Options.Authorization();
  const auto& token = FOAuth2Options.Token();
  const bool get = aRequest.Method == "GET";
  const bool post = aRequest.Method == "POST";
  if (authorization.Enabled && aRequest.Path == authorization.URL && (get || post)) {
    // The built-in page posts the sign-in so that the password stays out of
    // addresses, histories and logs; a sign-in by GET is still understood.
    TzorFormFields fields;
    if (!fields.Parse(get ? aRequest.Query : aRequest.Body, get)) return TzorOAuth2HTTPAnswer::NotFound();
    if (fields.Value("request_type") == "sign-in") return SignInStep(aConnection, fields);
    return get ? PageStep(fields) : TzorOAuth2HTTPAnswer::NotFound();
  }
  if (token.Enabled && aRequest.Path == token.URL && post) return TokenStep(aConnection, aRequest);
  return {};
}

TzorOAuth2HTTPAnswer TzorHTTPComponentServer_OAuth2::PageStep(const TzorFormFields& query) {
  const auto& options = FOAuth2Options.Authorization();
  // Until client and redirect address are known good, nothing is redirected.
  if (query.Empty() || !query.Repeated({"client_id", "redirect_uri"}).empty()) return TzorOAuth2HTTPAnswer::NotFound();
  const TzorHTTPOAuthAppPtr app = GetAppByClientId(query.Value("client_id"));
  if (!app) return TzorOAuth2HTTPAnswer::NotFound();
  const bool redirectGiven = query.Count("redirect_uri") > 0;
  const std::string redirect = redirectGiven ? query.Value("redirect_uri") : app->RedirectURI;
  if (redirect.empty() || redirect != app->RedirectURI) return TzorOAuth2HTTPAnswer::NotFound();

  auto request = std::make_shared<TzorHTTPOAuth2Request>();
  request->App = app;
  request->GrantType = auth2Code;
  request->Response_Type = query.Value("response_type");
  request->Client_Id = query.Value("client_id");
  request->Redirect_URI = redirect;
  request->RedirectGiven = redirectGiven;
  request->Scope = query.Value("scope");
  request->State = query.Value("state");
  request->CodeChallenge = query.Value("code_challenge");
  const std::string method = query.Value("code_challenge_method");
  if (!query.Repeated({"response_type", "scope", "state", "code_challenge", "code_challenge_method"}).empty())
    return RedirectError(redirect, "invalid_request", request->State);
  if (request->Response_Type != "code") return RedirectError(redirect, "unsupported_response_type", request->State);
  if (!app->AllowedGrantTypes.Contains(auth2Code)) return RedirectError(redirect, "unauthorized_client", request->State);
  // Only S256: the plain method would show the verifier to whoever sees the
  // authorization request.
  const bool challenged = !request->CodeChallenge.empty();
  if ((challenged && (method != "S256" || request->CodeChallenge.size() != 43 ||
                      !IsPKCEVerifier(request->CodeChallenge))) ||
      (!challenged && (app->RequirePKCE || !method.empty())))
    return RedirectError(redirect, "invalid_request", request->State);

  const TzorOAuth2Time now = Clock();
  request->Created = now;
  {
    std::lock_guard guard(FRequests.Lock());
    Prune(now);
    FRequests.Items().push_back(request);
  }
  std::string html = FillSignInPage(OAuth2AuthorizationPage(options.URL), app->AppName, request->Scope, request->ID());
  if (OnOAuth2BeforeDispatchPage) OnOAuth2BeforeDispatchPage(this, *request, html);
  if (html.empty()) {
    // Nobody can sign in without the page: the request goes.
    std::lock_guard guard(FRequests.Lock());
    FRequests.Remove(request);
    return TzorOAuth2HTTPAnswer::NotFound();
  }
  return TzorOAuth2HTTPAnswer::Content(200, "text/html; charset=utf-8", std::move(html), SignInPageHeaders(redirect));
}

TzorHTTPOAuth2RequestPtr TzorHTTPComponentServer_OAuth2::FindRequestById(const std::string& aId) {
  for (const auto& request : FRequests.Items())
    if (SecretsEqual(request->ID(), aId)) return request;
  return nullptr;
}

TzorOAuth2HTTPAnswer TzorHTTPComponentServer_OAuth2::SignInStep(TzorWSConnection* aConnection,
                                                                const TzorFormFields& fields) {
  const auto& options = FOAuth2Options.Authorization();
  if (!fields.Repeated({"username", "password", "id"}).empty()) return TzorOAuth2HTTPAnswer::NotFound();
  const std::string user = fields.Value("username");
  const std::string password = fields.Value("password");
  const TzorOAuth2Time now = Clock();
  TzorHTTPOAuth2RequestPtr request;
  TzorHTTPOAuth2Request snapshot;
  bool awaiting = false;
  {
    std::lock_guard guard(FRequests.Lock());
    Prune(now);
    request = FindRequestById(fields.Value("id"));
    if (!request) return TzorOAuth2HTTPAnswer::NotFound();
    awaiting = request->CurrentState == oat2RequestAuthorization;
    snapshot = *request;
  }
  bool authenticated = false;
  if (OnOAuth2Authentication) OnOAuth2Authentication(aConnection, snapshot, user, password, authenticated);
  std::lock_guard guard(FRequests.Lock());
  if (!awaiting) {
    // A request past its sign-in cannot be signed in to again: a user who
    // proves who they are ends it; anybody else changes nothing.
    if (!authenticated) return TzorOAuth2HTTPAnswer::NotFound();
    FRequests.Remove(request);
    return RedirectError(snapshot.Redirect_URI, "invalid_request", snapshot.State);
  }
  const auto& items = FRequests.Items();
  const bool listed = std::find(items.begin(), items.end(), request) != items.end();
  // Another sign-in for the same page may have won meanwhile.
  if (!listed || request->CurrentState != oat2RequestAuthorization) return TzorOAuth2HTTPAnswer::NotFound();
  if (!authenticated) {
    if (++request->RefusedSignIns >= options.MaxRefusedSignIns) FRequests.Remove(request);
    return TzorOAuth2HTTPAnswer::NotFound();
  }
  request->Authentication = {user, password};
  request->AuthorizationCode = LowerCase(NewGuidText());
  request->CodeIssued = now;
  request->CurrentState = oat2AuthorizationCode;
  return TzorOAuth2HTTPAnswer::Redirect(
      AppendQuery(request->Redirect_URI, {{"code", request->AuthorizationCode}, {"state", request->State}}));
}

void TzorHTTPComponentServer_OAuth2::Prune(TzorOAuth2Time now) {
  const auto& options = FOAuth2Options.Authorization();
  const auto signInLife = std::chrono::seconds(options.SignInExpiresIn);
  const auto codeLife = std::chrono::seconds(options.CodeExpiresIn);
  auto& items = FRequests.Items();
  std::erase_if(items, [&](const TzorHTTPOAuth2RequestPtr& r) {
    switch (r->CurrentState) {
      case oat2RequestAuthorization:
        return now - r->Created >= signInLife;
      case oat2AuthorizationCode:
        return now - r->CodeIssued >= codeLife;
      case oat2AccessToken:
        return r->Token.Expires <= now && r->Token.RefreshExpires <= now;
    }
    return false;
  });
  auto pending = std::count_if(items.begin(), items.end(),
                               [](const auto& r) { return r->CurrentState == oat2RequestAuthorization; });
  for (auto at = items.begin(); at != items.end() && pending >= options.MaxPendingRequests;) {
    if ((*at)->CurrentState == oat2RequestAuthorization) {
      at = items.erase(at);
      --pending;
    } else {
      ++at;
    }
  }
}

TzorOAuth2Time TzorHTTPComponentServer_OAuth2::RefreshTokenExpiry(TzorOAuth2Time now) const {
  return now + std::chrono::seconds(FOAuth2Options.Token().RefreshTokenExpiresIn);
}

bool TzorHTTPComponentServer_OAuth2::IsOAuth2TokenValid(TzorWSConnection* aConnection,
                                                        const std::vector<std::string>& aHeaders) {
  const bool hasAuthorization = std::any_of(aHeaders.begin(), aHeaders.end(), [](const std::string& line) {
    return ContainsText(line, "Authorization: ") || ContainsText(line, "authorization=");
  });
  if (!hasAuthorization) return false;
  const std::string token = FindBearerToken(aHeaders);
  return !token.empty() && IsOAuth2TokenValid(aConnection, token);
}

bool TzorHTTPComponentServer_OAuth2::IsOAuth2TokenValid(TzorWSConnection* aConnection, const std::string& aToken) {
  static const std::vector<std::string> kNoHeaders;
  if (RaiseBeforeRequest(aConnection, aConnection ? aConnection->HeadersRequest() : kNoHeaders)) return true;
  bool valid = false;
  const TzorOAuth2Time now = Clock();
  std::lock_guard guard(FRequests.Lock());
  // An expired token is refused; its request stays while its refresh token
  // can still renew it.
  Prune(now);
  const auto& items = FRequests.Items();
  for (size_t i = items.size(); i-- > 0;) {
    const TzorHTTPOAuth2RequestPtr request = items[i];
    if (request->CurrentState != oat2AccessToken || request->Token.ExpiresIn(now) <= 0) continue;
    if (SecretsEqual(request->Token.AccessToken, aToken)) {
      valid = true;
      if (OnOAuth2AfterValidateAccessToken) OnOAuth2AfterValidateAccessToken(this, aConnection, *request, valid);
      break;
    }
  }
  return valid;
}

bool TzorHTTPComponentServer_OAuth2::IsOAuth2Unauthorized(TzorWSConnection* aConnection) {
  bool disconnect = true;
  if (OnOAuth2Unauthorized) OnOAuth2Unauthorized(this, aConnection, disconnect);
  return disconnect;
}

bool TzorHTTPComponentServer_OAuth2::AddToken(const std::string& aAppName, const std::string& aToken,
                                              TzorOAuth2Time aExpires, const std::string& aRefreshToken,
                                              const std::string& aScope) {
  const TzorHTTPOAuthAppPtr app = GetApp(aAppName);
  if (!app || aToken.empty()) return false;
  if (aExpires <= Clock() && aRefreshToken.empty()) return false;
  auto request = std::make_shared<TzorHTTPOAuth2Request>();
  request->App = app;
  request->GrantType = auth2Code;
  request->CurrentState = oat2AccessToken;
  request->Client_Id = app->ClientId;
  request->Redirect_URI = app->RedirectURI;
  request->Scope = aScope;
  request->Token.AccessToken = aToken;
  request->Token.RefreshToken = aRefreshToken;
  if (!aRefreshToken.empty()) request->Token.RefreshExpires = RefreshTokenExpiry(Clock());
  request->Token.Expires = aExpires;
  std::lock_guard guard(FRequests.Lock());
  FRequests.Items().push_back(std::move(request));
  return true;
}

bool TzorHTTPComponentServer_OAuth2::RemoveToken(const std::string& aToken) {
  std::lock_guard guard(FRequests.Lock());
  auto& items = FRequests.Items();
  for (size_t i = items.size(); i-- > 0;) {
    if (items[i]->CurrentState == oat2AccessToken && SecretsEqual(items[i]->Token.AccessToken, aToken)) {
      items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

}  // namespace zor
