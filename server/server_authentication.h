#pragma once
// Authentication of WebSocket upgrades and the session requests that issue
// one-login session ids: the attached token components, Basic credentials,
// URL and session logins and the application's handlers, in this order.
// Sans-IO: it reads the request's header lines and a connection's record.
#include "server/server_options.h"
#include "server/session_list.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zor {

class TzorWSConnection;

enum TwsAuthentication : uint8_t { authNone, authSession, authURL, authBasic, authOAuth2, authJWT, authOAuth2Provider };

using TzorWSAuthenticationEvent = std::function<void(TzorWSConnection* Connection, const std::string& aUser,
                                                     const std::string& aPassword, bool& Authenticated)>;
using TzorWSUnknownAuthenticationEvent =
    std::function<void(TzorWSConnection* Connection, const std::string& AuthType, const std::string& AuthData,
                       std::string& aUser, std::string& aPassword, bool& Authenticated)>;

// What the server needs of an attached OAuth2 server and OAuth2 provider.
class IzorWSOAuth2Server {
 public:
  virtual ~IzorWSOAuth2Server() = default;
  virtual bool IsOAuth2TokenValid(TzorWSConnection* Connection, const std::vector<std::string>& Headers) = 0;
  virtual bool IsOAuth2Unauthorized(TzorWSConnection* Connection) = 0;
};
// What the server needs of an OAuth2 provider: the check of a request's token.
class IzorWSOAuth2Provider {
 public:
  virtual ~IzorWSOAuth2Provider() = default;
  virtual bool IsOAuth2TokenValid(TzorWSConnection* Connection, const std::vector<std::string>& Headers) = 0;
  virtual bool IsPrivateEndpoint(const std::string& aPath) = 0;
};

// How a connection was authenticated.
class TzorWSConnectionAuthentication {
 public:
  bool Authenticated = false;
  TwsAuthentication AuthType = authNone;
  std::string Password;
  std::string User;
  // Made on first read: 32 hexadecimal digits from the CSPRNG.
  const std::string& SessionID();
  void SetSessionID(std::string value) { FSessionID = std::move(value); }

 private:
  std::string FSessionID;
};

// The authentication side of one server connection.
class TzorWSConnectionAuthState {
 public:
  // Created on first use.
  TzorWSConnectionAuthentication& Authentication();
  bool HasAuthentication() const { return FAuthentication != nullptr; }
  // The connection's own credential check (the server's when its
  // authentication is enabled).
  TzorWSAuthenticationEvent OnAuthentication;
  int AuthenticationCloseCode() const { return FAuthenticationCloseCode; }
  void SetAuthenticationCloseCode(int aCloseCode) { FAuthenticationCloseCode = aCloseCode; }
  // The server's own watchdog client: no authentication applies to it.
  bool Internal = false;

  // Raises OnAuthentication with the record's credentials and stores the answer.
  bool DoAuthentication(TzorWSConnection* Connection);

 private:
  std::unique_ptr<TzorWSConnectionAuthentication> FAuthentication;
  int FAuthenticationCloseCode = 1000;
};

enum class TzorSessionAnswer { Nothing, Granted, NotFound };

// Authenticates WebSocket upgrades and session requests.
class TzorWSServerAuthenticator {
 public:
  explicit TzorWSServerAuthenticator(const TzorWSAuthenticationServer_Options& options);

  TzorWSAuthenticationEvent OnAuthentication;
  TzorWSUnknownAuthenticationEvent OnUnknownAuthentication;
  // Set while the server's watchdog monitor runs; empty otherwise.
  void SetWatchDogMonitorSecret(std::string value) { FWatchDogMonitorSecret = std::move(value); }

  TzorWSSessionList& Sessions() { return FSessions; }

  // Decides an upgrade; raises TzorWSException "Authentication Denied" when it
  // is refused and the connection has no close code of its own.
  void AuthenticateUpgrade(TzorWSConnection* Connection, TzorWSConnectionAuthState& state,
                           const std::vector<std::string>& headers);
  // A request for GET /zor/req/auth/session/<user>/<password>; on Granted,
  // `body` holds the session id, the extensions and the protocol, one per line.
  TzorSessionAnswer AnswerSessionRequest(TzorWSConnection* Connection, TzorWSConnectionAuthState& state,
                                         const std::string& requestLine, const std::string& extensions,
                                         const std::string& protocol, std::string& body);
  // The handler put on every connection while authentication is enabled.
  void OnServerAuthenticationEvent(TzorWSConnection* Connection, TzorWSConnectionAuthState& state,
                                   const std::string& aUser, const std::string& aPassword, bool& Authenticated);
  // A login by "/zor/auth/session/<id>": takes the session, true once per id.
  bool AuthenticateSession(TzorWSConnectionAuthState& state, const std::string& aPath);
  // Basic credentials ("user:password" in Base64) checked against the user
  // list and then the application's handler, as for HTTP requests.
  bool CheckBasicCredentials(TzorWSConnection* Connection, TzorWSConnectionAuthState& state,
                             const std::string& encoded);

 private:
  bool IsMonitorRequest(const std::string& requestLine) const;
  bool Decide(TzorWSConnection* Connection, TzorWSConnectionAuthState& state, const std::vector<std::string>& headers);
  bool DoUnknownAuthentication(TzorWSConnection* Connection, TzorWSConnectionAuthState& state,
                               const std::vector<std::string>& headers);

  const TzorWSAuthenticationServer_Options& FOptions;
  TzorWSSessionList FSessions;
  std::string FWatchDogMonitorSecret;
};

}  // namespace zor
