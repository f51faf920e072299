#include "server/server_authentication.h"

#include "auth/jwt_server.h"
#include "base/bytes.h"
#include "base/random.h"
#include "base/text.h"
#include "server/request_classifier.h"
#include "server/secrets.h"
#include "websocket/ws_types.h"

namespace zor {

namespace {

std::string Trimmed(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  return std::string(text.substr(begin, text.find_last_not_of(" \t\r\n") + 1 - begin));
}

const std::string* LineContaining(const std::vector<std::string>& lines, std::string_view text) {
  for (const std::string& line : lines)
    if (ContainsText(line, text)) return &line;
  return nullptr;
}

// Whether the user list names `user` and holds exactly `password` for it;
// `known` tells whether the user is listed at all.
bool UserListGrants(const std::vector<std::string>& users, const std::string& user, const std::string& password,
                    bool& known) {
  known = false;
  if (user.empty()) return false;
  for (const std::string& line : users) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos || !SameText(std::string_view(line).substr(0, eq), user)) continue;
    known = true;
    return SecretsEqual(std::string_view(line).substr(eq + 1), password);
  }
  return false;
}

size_t FindNoCase(std::string_view text, std::string_view sub) {
  for (size_t i = 0; i + sub.size() <= text.size(); ++i)
    if (SameText(text.substr(i, sub.size()), sub)) return i;
  return std::string_view::npos;
}

}  // namespace

const std::string& TzorWSConnectionAuthentication::SessionID() {
  if (FSessionID.empty()) FSessionID = NewGuidText();
  return FSessionID;
}

TzorWSConnectionAuthentication& TzorWSConnectionAuthState::Authentication() {
  if (!FAuthentication) FAuthentication = std::make_unique<TzorWSConnectionAuthentication>();
  return *FAuthentication;
}

bool TzorWSConnectionAuthState::DoAuthentication(TzorWSConnection* Connection) {
  TzorWSConnectionAuthentication& a = Authentication();
  bool authenticated = a.Authenticated;
  if (OnAuthentication) OnAuthentication(Connection, a.User, a.Password, authenticated);
  a.Authenticated = authenticated;
  return authenticated;
}

TzorWSServerAuthenticator::TzorWSServerAuthenticator(const TzorWSAuthenticationServer_Options& options)
    : FOptions(options), FSessions(std::chrono::seconds(options.Session.TimeOut)) {}

bool TzorWSServerAuthenticator::IsMonitorRequest(const std::string& requestLine) const {
  const std::string& secret = FWatchDogMonitorSecret;
  if (secret.empty()) return false;
  bool found = false;
  for (size_t slash = requestLine.find('/'); slash != std::string::npos; slash = requestLine.find('/', slash + 1))
    if (requestLine.size() - slash - 1 >= secret.size())
      found |= SecretsEqual(secret, std::string_view(requestLine).substr(slash + 1, secret.size()));
  return found;
}

void TzorWSServerAuthenticator::AuthenticateUpgrade(TzorWSConnection* Connection, TzorWSConnectionAuthState& state,
                                                    const std::vector<std::string>& headers) {
  if (!headers.empty() && IsMonitorRequest(headers.front())) {
    state.Internal = true;
    return;
  }
  if (!FOptions.Enabled) return;
  TzorWSConnectionAuthentication& a = state.Authentication();
  a.Authenticated = Decide(Connection, state, headers);
  if (!a.Authenticated && !FOptions.AllowNonAuth && state.AuthenticationCloseCode() == kCloseNormal)
    throw TzorWSException("Authentication Denied");
}

bool TzorWSServerAuthenticator::Decide(TzorWSConnection* Connection, TzorWSConnectionAuthState& state,
                                       const std::vector<std::string>& headers) {
  TzorWSConnectionAuthentication& a = state.Authentication();
  const std::string first = headers.empty() ? std::string() : headers.front();
  if (IzorWSOAuth2Server* oauth = FOptions.OAuth.OAuth2) {
    if (oauth->IsOAuth2TokenValid(Connection, headers)) return true;
    return !oauth->IsOAuth2Unauthorized(Connection);
  }
  if (IzorWSOAuth2Provider* provider = FOptions.OAuth.OAuth2Provider)
    if (provider->IsOAuth2TokenValid(Connection, headers)) return true;
  if (TzorHTTPComponentServer_JWT* jwt = FOptions.JWT.JWT) {
    if (jwt->IsJWTTokenValid(Connection, headers)) return true;
    return !jwt->IsJWTUnauthorized(Connection);
  }
  if (FOptions.Basic.Enabled) {
    if (const std::string* line = LineContaining(headers, "Authorization: Basic")) {
      // The credentials follow the marker wherever it stands in the line.
      const size_t at = FindNoCase(*line, "Authorization: Basic") + std::string_view("Authorization: Basic ").size();
      const auto parts = SplitText(DecodeBase64Text(at < line->size() ? line->substr(at) : std::string()), ':');
      if (parts.size() != 2) return false;
      a.AuthType = authBasic;
      a.User = parts[0];
      a.Password = parts[1];
      return state.DoAuthentication(Connection);
    }
  }
  if (FOptions.URL.Enabled && ContainsText(first, "GET /zor/auth/url/")) {
    const auto parts = SplitText(RequestPath(first), '/');
    if (parts.size() <= 5) return a.Authenticated;
    a.AuthType = authURL;
    a.User = parts[4];
    a.Password = parts[5];
    return state.DoAuthentication(Connection);
  }
  if (FOptions.Session.Enabled && ContainsText(first, "GET /zor/auth/session/"))
    return AuthenticateSession(state, RequestPath(first));
  if (LineContaining(headers, "Authorization: ") || LineContaining(headers, "authorization="))
    return DoUnknownAuthentication(Connection, state, headers);
  if (OnAuthentication) {
    bool authenticated = a.Authenticated;
    OnAuthentication(Connection, "", "", authenticated);
    return authenticated;
  }
  return a.Authenticated;
}

bool TzorWSServerAuthenticator::DoUnknownAuthentication(TzorWSConnection* Connection, TzorWSConnectionAuthState& state,
                                                        const std::vector<std::string>& headers) {
  if (!OnUnknownAuthentication) return false;
  TzorWSConnectionAuthentication& a = state.Authentication();
  const std::string value = HeaderValue(headers, "Authorization");
  const size_t blank = value.find(' ');
  const std::string authType = value.substr(0, blank);
  const std::string authData = blank == std::string::npos ? std::string() : value.substr(blank + 1);
  std::string user = a.User, password = a.Password;
  bool authenticated = false;
  OnUnknownAuthentication(Connection, authType, authData, user, password, authenticated);
  if (authenticated) {
    a.User = user;
    a.Password = password;
  }
  return authenticated;
}

bool TzorWSServerAuthenticator::AuthenticateSession(TzorWSConnectionAuthState& state, const std::string& aPath) {
  const auto parts = SplitText(aPath, '/');
  if (parts.size() <= 4 || parts[4].empty()) return false;
  std::string user, password;
  if (!FSessions.TakeSession(parts[4], user, password)) return false;
  TzorWSConnectionAuthentication& a = state.Authentication();
  a.SetSessionID(parts[4]);
  a.User = std::move(user);
  a.Password = std::move(password);
  return true;
}

void TzorWSServerAuthenticator::OnServerAuthenticationEvent(TzorWSConnection* Connection,
                                                            TzorWSConnectionAuthState& state, const std::string& aUser,
                                                            const std::string& aPassword, bool& Authenticated) {
  bool known = false;
  const bool granted = UserListGrants(FOptions.AuthUsers, aUser, aPassword, known);
  if (known) Authenticated = granted;
  if (OnAuthentication) OnAuthentication(Connection, aUser, aPassword, Authenticated);
  if (Authenticated && state.Authentication().AuthType == authSession &&
      !FSessions.AddSession(state.Authentication().SessionID(), aUser, aPassword))
    Authenticated = false;  // an id that cannot be stored must not be handed out
}

TzorSessionAnswer TzorWSServerAuthenticator::AnswerSessionRequest(TzorWSConnection* Connection,
                                                                  TzorWSConnectionAuthState& state,
                                                                  const std::string& requestLine,
                                                                  const std::string& extensions,
                                                                  const std::string& protocol, std::string& body) {
  const auto parts = SplitText(RequestPath(requestLine), '/');
  if (parts.size() <= 5) return TzorSessionAnswer::Nothing;
  TzorWSConnectionAuthentication& a = state.Authentication();
  a.AuthType = authSession;
  a.User = parts[5];
  a.Password = parts.size() > 6 ? parts[6] : std::string();
  if (!state.DoAuthentication(Connection)) return TzorSessionAnswer::NotFound;
  body = Trimmed(a.SessionID()) + "\r\n" + Trimmed(extensions) + "\r\n" + Trimmed(protocol) + "\r\n";
  return TzorSessionAnswer::Granted;
}

bool TzorWSServerAuthenticator::CheckBasicCredentials(TzorWSConnection* Connection, TzorWSConnectionAuthState& state,
                                                      const std::string& encoded) {
  const std::string decoded = DecodeBase64Text(encoded);
  const size_t colon = decoded.find(':');
  if (colon == std::string::npos) return false;
  TzorWSConnectionAuthentication& a = state.Authentication();
  a.AuthType = authBasic;
  a.User = decoded.substr(0, colon);
  a.Password = decoded.substr(colon + 1);
  bool known = false;
  bool authenticated = UserListGrants(FOptions.AuthUsers, a.User, a.Password, known);
  if (!authenticated && OnAuthentication) OnAuthentication(Connection, a.User, a.Password, authenticated);
  a.Authenticated = authenticated;
  return authenticated;
}

}  // namespace zor
