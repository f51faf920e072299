#include "oauth2/oauth2_client.h"

#include "base/bytes.h"
#include "base/exceptions.h"
#include "base/format.h"
#include "base/timer.h"
#include "http/http_client.h"
#include "http/http_exceptions.h"
#include "oauth2/form_fields.h"
#include "oauth2/pkce.h"
#include "oauth2/web_browser.h"
#include "server/secrets.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

namespace zor {

namespace {

constexpr const char* kSuccessPage = "The operation was successful, you can close your browser now.";

bool IsHTTPS(const std::string& url) {
  if (url.size() < 5) return false;
  std::string scheme = url.substr(0, 5);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::toupper(c); });
  return scheme == "HTTPS";
}

// Whole seconds; false for anything else.
bool ReadSeconds(const std::string& text, int64_t& seconds) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  seconds = value;
  return true;
}

}  // namespace

// One token request's outcome.
struct TzorHTTPComponentClient_OAuth2::Exchange {
  int Status = 0;
  std::string Body;
};

TzorHTTPComponentClient_OAuth2::TzorHTTPComponentClient_OAuth2(TzorComponent_Base* aOwner)
    : TzorHTTPComponentClient_OAuth(aOwner) {}

TzorHTTPComponentClient_OAuth2::~TzorHTTPComponentClient_OAuth2() { Stop(); }

TzorOAuth2ClientCredentials TzorHTTPComponentClient_OAuth2::Client() const {
  return {FOAuth2Options.ClientId, FOAuth2Options.ClientSecret};
}

void TzorHTTPComponentClient_OAuth2::Start() {
  {
    std::lock_guard guard(FLock);
    FRefreshToken.clear();
    FStopped = false;
  }
  if (FOAuth2Options.GrantType == auth2ClientCredentials) {
    // No browser comes back: this grant needs no listener.
    int status = 0;
    std::string text;
    RequestAccessToken("", "", status, text);
    return;
  }
  try {
    StartLocalServer();
    Authorize();
  } catch (...) {
    StopLocalServer();
    throw;
  }
}

void TzorHTTPComponentClient_OAuth2::Stop() {
  {
    std::lock_guard guard(FLock);
    FStopped = true;
    FExpectedState.clear();
  }
  FreeRefreshTimer();
  JoinListenerStop();
  StopLocalServer();
}

void TzorHTTPComponentClient_OAuth2::Refresh(const std::string& aRefreshToken) { RequestRefreshToken(aRefreshToken); }

bool TzorHTTPComponentClient_OAuth2::OpenWebBrowser(const std::string& aURL) {
  return WebBrowserOpener ? WebBrowserOpener(aURL) : OpenURLWithXdgOpen(aURL);
}

void TzorHTTPComponentClient_OAuth2::Authorize() {
  const auto& server = AuthorizationServerOptions();
  if (server.AuthURL.empty()) throw Exception("Authentication URL must not be empty.");
  if (server.TokenURL.empty()) throw Exception("Token URL must not be empty.");
  if (FOAuth2Options.ClientId.empty()) throw Exception("Client ID must not be empty.");
  // Each authorization has a state and a verifier of its own.
  FOAuth2Options.SetState({});
  const std::string state = FOAuth2Options.State();
  const std::string verifier = FOAuth2Options.PKCE ? NewPKCEVerifier() : std::string();
  {
    std::lock_guard guard(FLock);
    FExpectedState = state;
    FCodeVerifier = verifier;
  }
  std::string url = AuthorizeURL(server.AuthURL, AuthorizeParams(FOAuth2Options.ClientId, RedirectAddress(),
                                                                 server.PlainScope(), state,
                                                                 verifier.empty() ? "" : PKCEChallengeS256(verifier)));
  bool handled = false;
  if (OnBeforeAuthorizeCode) OnBeforeAuthorizeCode(this, url, handled);
  if (handled) return;
  if (!OpenWebBrowser(url)) throw Exception("WebBrowser cannot be opened.");
}

void TzorHTTPComponentClient_OAuth2::HandleRedirect(const TzorOAuth2Redirect& aRedirect, int& aCode,
                                                    std::string& aText) {
  std::string expected, verifier;
  {
    // A state is good for one redirect.
    std::lock_guard guard(FLock);
    expected = std::exchange(FExpectedState, {});
    verifier = std::exchange(FCodeVerifier, {});
  }
  if (!SecretsEqual(expected, aRedirect.State)) {
    const std::string description =
        Format("State Value %s is different from request %s", aRedirect.State.c_str(), expected.c_str());
    if (OnErrorAuthorizeCode)
      OnErrorAuthorizeCode(this, aRedirect.Error, description, aRedirect.Error_URI, aRedirect.State,
                           aRedirect.RawParams);
    DoAuthTokenError(aRedirect.Error, description, aRedirect.RawParams);
    aCode = 500;
    aText = "The answer does not belong to a sign-in of this application.";
    return;
  }
  if (!aRedirect.Error.empty()) {
    if (OnErrorAuthorizeCode)
      OnErrorAuthorizeCode(this, aRedirect.Error, aRedirect.Error_Description, aRedirect.Error_URI, aRedirect.State,
                           aRedirect.RawParams);
    DoAuthTokenError(aRedirect.Error, aRedirect.Error_Description, aRedirect.RawParams);
    aCode = 400;
    aText = "The sign-in failed: " + aRedirect.Error;
    return;
  }
  bool handled = false;
  if (OnAfterAuthorizeCode)
    OnAfterAuthorizeCode(this, aRedirect.Code, aRedirect.State, aRedirect.Scope, aRedirect.RawParams, handled);
  int status = 0;
  std::string text;
  RequestAccessToken(aRedirect.Code, verifier, status, text);
  if (status == 0) {
    status = 500;
    text = "The token request was not sent.";
  }
  if (OnHTTPResponse) OnHTTPResponse(this, status, text);
  aCode = status;
  aText = text;
}

bool TzorHTTPComponentClient_OAuth2::PostForm(std::string aURL, std::string aBody, const TBeforeToken& aBefore,
                                              Exchange& aExchange) {
  bool handled = false;
  if (aBefore) aBefore(this, aURL, aBody, handled);
  // Credentials and codes travel only over TLS.
  if (handled || !IsHTTPS(aURL)) return false;
  TzorIdHTTP http;
  http.SetTLSOptions(FHTTPClientOptions.TLSOptions());
  http.SetLogOptions(FHTTPClientOptions.LogOptions());
  http.SetLog(!FHTTPClientOptions.LogOptions().FileName().empty());
  http.SetConnectTimeout(30000);
  http.SetReadTimeout(30000);
  http.Request().Accept = "application/json";
  if (!FOAuth2Options.Username.empty())
    http.Request().CustomHeaders.Add("Authorization: Basic " +
                                     EncodeBase64(FOAuth2Options.Username + ":" + FOAuth2Options.Password));
  TzorStringStream source(aBody), response;
  // Form posts go out as the HTTP/1.1 they are.
  http.HTTPOptions().insert(hoKeepOrigProtocol);
  http.Request().ContentType = "application/x-www-form-urlencoded";
  http.Post(aURL, source, response);
  aExchange.Status = http.ResponseCode();
  aExchange.Body = response.DataString();
  return true;
}

void TzorHTTPComponentClient_OAuth2::RequestAccessToken(const std::string& aCode, const std::string& aCodeVerifier,
                                                        int& aStatus, std::string& aText) {
  const bool code = FOAuth2Options.GrantType == auth2Code;
  const TzorFormPairs form =
      code ? CodeTokenForm(aCode, RedirectAddress(), aCodeVerifier, Client())
           : ClientCredentialsTokenForm(AuthorizationServerOptions().PlainScope(), RedirectAddress(), Client());
  Exchange exchange;
  try {
    if (!PostForm(AuthorizationServerOptions().TokenURL, FormEncodePairs(form), OnBeforeAccessToken, exchange)) return;
  } catch (const EIdHTTPProtocolException& e) {
    aStatus = e.ErrorCode();
    aText = e.ErrorMessage();
    TzorOAuth2ErrorAnswer error;
    if (aStatus != 400 || !ReadErrorAnswer(e.ErrorMessage(), error) || error.Error.empty())
      error = {"invalid_request", e.Message(), ""};
    return ReportAccessTokenError(error, e.ErrorMessage());
  } catch (const std::exception& e) {
    aStatus = 500;
    aText = e.what();
    return ReportAccessTokenError({"invalid_request", e.what(), ""}, e.what());
  }
  aStatus = exchange.Status;
  // Only a 200 answer carries a token (RFC 6749 5.1).
  if (exchange.Status != 200) return ReportAccessTokenError({"invalid_request", exchange.Body, ""}, exchange.Body);
  aText = kSuccessPage;
  ReadAccessToken(exchange.Body);
}

void TzorHTTPComponentClient_OAuth2::ReportAccessTokenError(const TzorOAuth2ErrorAnswer& aError,
                                                            const std::string& aRawParams) {
  if (OnErrorAccessToken) OnErrorAccessToken(this, aError.Error, aError.Error_Description, aError.Error_URI, aRawParams);
  DoAuthTokenError(aError.Error, aError.Error_Description, aRawParams);
}

void TzorHTTPComponentClient_OAuth2::ReportRefreshTokenError(const TzorOAuth2ErrorAnswer& aError,
                                                             const std::string& aRawParams) {
  if (OnErrorRefreshToken)
    OnErrorRefreshToken(this, aError.Error, aError.Error_Description, aError.Error_URI, aRawParams);
  DoAuthTokenError(aError.Error, aError.Error_Description, aRawParams);
}

void TzorHTTPComponentClient_OAuth2::ReadAccessToken(const std::string& aBody) {
  TzorOAuth2TokenAnswer token;
  if (!ReadTokenAnswer(aBody, token) || token.Access_Token.empty())
    return ReportAccessTokenError({"invalid_request", "The token answer holds no access_token", ""}, aBody);
  {
    std::lock_guard guard(FLock);
    FRefreshToken.clear();
  }
  bool handled = false;
  if (OnAfterAccessToken)
    OnAfterAccessToken(this, token.Access_Token, token.Token_Type, token.Expires_In, token.Refresh_Token, token.Scope,
                       aBody, handled);
  if (handled) return;
  DoAuthToken(token.Token_Type, token.Access_Token, aBody);
  int64_t refreshAfter = 0;
  {
    std::lock_guard guard(FLock);
    FRefreshToken = token.Refresh_Token;
    ReadSeconds(token.Expires_In, FExpiresIn);
    if (!FRefreshToken.empty() && FExpiresIn > 60) refreshAfter = FExpiresIn / 2;
  }
  if (refreshAfter > 0) ScheduleRefresh(refreshAfter);
}

void TzorHTTPComponentClient_OAuth2::RequestRefreshToken(const std::string& aRefreshToken) {
  {
    std::lock_guard guard(FLock);
    FRefreshToken = aRefreshToken;
  }
  const TzorFormPairs form = RefreshTokenForm(aRefreshToken, AuthorizationServerOptions().PlainScope(), Client());
  Exchange exchange;
  try {
    if (!PostForm(AuthorizationServerOptions().TokenURL, FormEncodePairs(form), OnBeforeRefreshToken, exchange)) return;
  } catch (const EIdHTTPProtocolException& e) {
    TzorOAuth2ErrorAnswer error;
    if (e.ErrorCode() != 400 || !ReadErrorAnswer(e.ErrorMessage(), error) || error.Error.empty())
      error = {"invalid_request", e.Message(), ""};
    return ReportRefreshTokenError(error, e.ErrorMessage());
  }
  if (exchange.Status != 200) return ReportRefreshTokenError({"invalid_request", exchange.Body, ""}, exchange.Body);
  ReadRefreshedToken(exchange.Body);
}

void TzorHTTPComponentClient_OAuth2::ReadRefreshedToken(const std::string& aBody) {
  TzorOAuth2TokenAnswer token;
  if (!ReadTokenAnswer(aBody, token) || token.Access_Token.empty())
    return ReportRefreshTokenError({"invalid_request", "The token answer holds no access_token", ""}, aBody);
  bool handled = false;
  if (OnAfterRefreshToken)
    OnAfterRefreshToken(this, token.Access_Token, token.Token_Type, token.Expires_In, token.Refresh_Token,
                        token.Scope, aBody, handled);
  if (handled) return;
  DoAuthToken(token.Token_Type, token.Access_Token, aBody);
  int64_t refreshAfter = 0;
  {
    std::lock_guard guard(FLock);
    if (!token.Refresh_Token.empty()) FRefreshToken = token.Refresh_Token;
    ReadSeconds(token.Expires_In, FExpiresIn);
    // Refreshed before it runs out, not when it does.
    if (FExpiresIn > 0) refreshAfter = FExpiresIn > 60 ? FExpiresIn / 2 : FExpiresIn;
  }
  if (refreshAfter > 0) ScheduleRefresh(refreshAfter);
}

void TzorHTTPComponentClient_OAuth2::ScheduleRefresh(int64_t aSeconds) {
  FreeRefreshTimer();
  if (aSeconds > std::numeric_limits<int32_t>::max() / 1000) return;
  auto timer = std::make_unique<TzorTimer>("OAuth2 Timer");
  timer->SetInterval(static_cast<int32_t>(aSeconds * 1000));
  timer->SetOnException([this](TzorTimer*, const std::exception& e) { DoAuthTokenError("TimerException", e.what(), ""); });
  timer->SetOnTimer([this](TzorTimer* sender) {
    // Fires once; the refresh arms the next timer.
    sender->SetEnabled(false);
    std::string refreshToken;
    {
      std::lock_guard guard(FLock);
      if (!FStopped) refreshToken = FRefreshToken;
    }
    if (!refreshToken.empty()) RequestRefreshToken(refreshToken);
  });
  timer->SetEnabled(true);
  std::lock_guard guard(FLock);
  if (!FStopped) FTimer = std::move(timer);
}

void TzorHTTPComponentClient_OAuth2::FreeRefreshTimer() {
  std::unique_ptr<TzorTimer> timer;
  {
    std::lock_guard guard(FLock);
    timer = std::move(FTimer);
  }
  FreeTimer(timer);
}

int32_t TzorHTTPComponentClient_OAuth2::RefreshInterval() const {
  std::lock_guard guard(FLock);
  return FTimer && FTimer->Enabled() ? FTimer->Interval() : 0;
}

}  // namespace zor
