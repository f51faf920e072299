#pragma once
// How the WebSocket client authenticates: the four methods' options (URL,
// session, basic, token) and what they turn into before the handshake.
#include <string>
#include <string_view>

#include "base/persistent.h"
#include "http/auth_token.h"

namespace zor {

inline constexpr const char* kSessionRequestPath = "/zor/req/auth/session/";
inline constexpr const char* kSessionConnectPath = "/zor/auth/session/";
inline constexpr const char* kURLConnectPath = "/zor/auth/url/";
inline constexpr const char* kClientUserAgent = "Mozilla/5.0 (zorWebSockets 2023.6.0)";

// An authentication method the client may use: on or off.
class TzorWSAuthentication_Switch : public TPersistent {
 public:
  void Assign(const TPersistent& source) override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }

 protected:
  bool FEnabled = false;
};

// Login by user and password in the upgrade path.
class TzorWSAuthenticationClient_URL : public TzorWSAuthentication_Switch {
 public:
  TzorWSAuthenticationClient_URL() { FEnabled = true; }
  const char* ClassName() const override { return "TzorWSAuthenticationClient_URL"; }
};

// HTTP Basic credentials on the upgrade request.
class TzorWSAuthenticationClient_Basic : public TzorWSAuthentication_Switch {
 public:
  const char* ClassName() const override { return "TzorWSAuthenticationClient_Basic"; }
};

// A session asked for over HTTP first, then named in the upgrade path.
class TzorWSAuthenticationClient_Session : public TzorWSAuthentication_Switch {
 public:
  const char* ClassName() const override { return "TzorWSAuthenticationClient_Session"; }
  void Assign(const TPersistent& source) override;

  // The server's answer to the session request.
  const std::string& ID() const { return FID; }
  void SetID(const std::string& value) { FID = value; }
  const std::string& Extensions() const { return FExtensions; }
  void SetExtensions(const std::string& value) { FExtensions = value; }
  const std::string& Protocols() const { return FProtocols; }
  void SetProtocols(const std::string& value) { FProtocols = value; }

 private:
  std::string FID, FExtensions, FProtocols;
};

// A bearer token from the token sources on the upgrade request.
class TzorWSAuthenticationClient_Token : public TzorWSAuthentication_Switch {
 public:
  const char* ClassName() const override { return "TzorWSAuthenticationClient_Token"; }
  void Assign(const TPersistent& source) override;

  const std::string& AuthName() const { return FAuthName; }
  void SetAuthName(const std::string& value) { FAuthName = value; }
  const std::string& AuthToken() const { return FAuthToken; }
  void SetAuthToken(const std::string& value) { FAuthToken = value; }
  // Token sources, referred to and never owned; one that is destroyed reads
  // as none. The JWT and OAuth2 client components are such sources.
  TzorHTTPComponentClientAuthToken_Base* JWT() const { return sources_.JWT(); }
  void SetJWT(TzorHTTPComponentClientAuthToken_Base* value) { sources_.SetJWT(value); }
  TzorHTTPComponentClientAuthToken_Base* OAuth() const { return sources_.OAuth(); }
  void SetOAuth(TzorHTTPComponentClientAuthToken_Base* value) { sources_.SetOAuth(value); }

 private:
  std::string FAuthName, FAuthToken;
  TzorHTTPAuthentication_Token sources_;
};

// How the client authenticates its upgrade: user, password and the methods.
class TzorWSAuthenticationClient_Options : public TzorWSAuthentication_Switch {
 public:
  const char* ClassName() const override { return "TzorWSAuthenticationClient_Options"; }
  void Assign(const TPersistent& source) override;

  TzorWSAuthenticationClient_URL& URL() { return FURL; }
  const TzorWSAuthenticationClient_URL& URL() const { return FURL; }
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& value) { FPassword = value; }
  TzorWSAuthenticationClient_Session& Session() { return FSession; }
  const TzorWSAuthenticationClient_Session& Session() const { return FSession; }
  TzorWSAuthenticationClient_Basic& Basic() { return FBasic; }
  const TzorWSAuthenticationClient_Basic& Basic() const { return FBasic; }
  TzorWSAuthenticationClient_Token& Token() { return FToken; }
  const TzorWSAuthenticationClient_Token& Token() const { return FToken; }
  const std::string& User() const { return FUser; }
  void SetUser(const std::string& value) { FUser = value; }

 private:
  TzorWSAuthenticationClient_URL FURL;
  std::string FPassword;
  TzorWSAuthenticationClient_Session FSession;
  TzorWSAuthenticationClient_Basic FBasic;
  TzorWSAuthenticationClient_Token FToken;
  std::string FUser;
};

// "/zor/auth/url/" + user + "/" + password, each percent-encoded as one
// segment, so that "/", "?", "#" or "%" in them can neither change the path
// nor end it.
std::string URLAuthenticationPath(const std::string& user, const std::string& password);

// The session request's address: scheme by `tls`, host, port, the request
// path, user and password (each encoded as one segment).
std::string SessionRequestURL(bool tls, const std::string& host, int port, const std::string& user,
                              const std::string& password);

// Reads the session answer (ID, extensions, protocols on lines 1 to 3; only
// an answer of more than two lines counts) into `session`; true when it holds
// an ID.
bool ReadSessionAnswer(std::string_view body, TzorWSAuthenticationClient_Session& session);

}  // namespace zor
