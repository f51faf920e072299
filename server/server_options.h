#pragma once
// The server's option groups and their defaults. Each group is an option
// object owned by the server and copied by value (Assign).
#include "base/persistent.h"
#include "http2/server_options.h"
#include "websocket/ws_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zor {

class TzorHTTPComponentServer_JWT;
class IzorWSOAuth2Server;
class IzorWSOAuth2Provider;

// Copies any source of exactly the same class; the base reports unrelated ones.
template <class T>
class TzorOptionsGroup : public TPersistent {
 public:
  void Assign(const TPersistent& source) override {
    if (const auto* same = dynamic_cast<const T*>(&source)) {
      static_cast<T&>(*this) = *same;
      return;
    }
    TPersistent::Assign(source);
  }
};

// General options of the server.
class TzorWSOptionsServer : public TzorOptionsGroup<TzorWSOptionsServer> {
 public:
  const char* ClassName() const override { return "TzorWSOptionsServer"; }
  // A close frame is answered with one before the socket closes (RFC 6455
  // 5.5.1); without it every client sees an abnormal closure.
  bool CleanDisconnect = true;
  bool HTMLFiles = false;
  bool JavascriptFiles = true;
  bool RaiseDisconnectExceptions = true;
  bool ValidateUTF8 = false;
  int WriteTimeOut = 0;
  // Longest wait from accept to a complete request head (TLS handshake
  // included); a slower client is closed.
  int HeadTimeOut = 10000;

  // Reading turns a value of 0 or less into 1 and keeps it.
  int ReadTimeOut() {
    if (FReadTimeOut <= 0) FReadTimeOut = 1;
    return FReadTimeOut;
  }
  void SetReadTimeOut(int value) { FReadTimeOut = value; }

 private:
  int FReadTimeOut = 10;
};

// The server's security options: the origins it accepts.
class TzorWSSecurity_Options : public TzorOptionsGroup<TzorWSSecurity_Options> {
 public:
  const char* ClassName() const override { return "TzorWSSecurity_Options"; }
  std::string OriginsAllowed;  // comma-separated masks
};

// Basic authentication options of the server.
struct TzorWSAuthenticationBasic_Options {
  bool Enabled = false;
  std::vector<std::string> CustomHeaders;
};

// The server's authentication options.
class TzorWSAuthenticationServer_Options : public TzorOptionsGroup<TzorWSAuthenticationServer_Options> {
 public:
  const char* ClassName() const override { return "TzorWSAuthenticationServer_Options"; }
  bool Enabled = false;
  bool AllowNonAuth = false;
  // One line per user: the name, "=", the password.
  std::vector<std::string> AuthUsers;
  struct {
    bool Enabled = true;
  } URL;
  struct {
    bool Enabled = true;
    // Seconds an issued session stays usable; unused sessions are dropped after it.
    int TimeOut = 300;
  } Session;
  TzorWSAuthenticationBasic_Options Basic;
  struct {
    TzorHTTPComponentServer_JWT* JWT = nullptr;  // not owned
  } JWT;
  struct {
    IzorWSOAuth2Server* OAuth2 = nullptr;              // not owned
    IzorWSOAuth2Provider* OAuth2Provider = nullptr;    // not owned
  } OAuth;
};

// The server's fallback transport options.
class TzorWSFallBack_Options : public TzorOptionsGroup<TzorWSFallBack_Options> {
 public:
  const char* ClassName() const override { return "TzorWSFallBack_Options"; }
  struct {
    bool Enabled = false;
    std::string Domain = "*";
    std::string Ports = "*";
  } Flash;
  struct {
    bool Enabled = false;
    int Retry = 3000;
  } ServerSentEvents;
};

// The server's HTTP/2 options.
class TzorWSHTTP2Server_Options : public TzorOptionsGroup<TzorWSHTTP2Server_Options> {
 public:
  const char* ClassName() const override { return "TzorWSHTTP2Server_Options"; }
  bool Enabled = false;
  // What each HTTP/2 connection announces; WebSocket over HTTP/2 needs
  // EnableConnectProtocol.
  TzorHTTP2ServerSettings Settings;
  // Whether the connect and disconnect events fire for HTTP/2 connections
  // (their WebSocket streams always raise them).
  struct {
    bool OnConnect = false;
    bool OnDisconnect = false;
  } Events;
  // With TLS, HTTP/1.1 answers announce "h2" on the TLS port.
  struct {
    bool Enabled = true;
  } AltSvc;
  Th2FragmentedData FragmentedData = h2fdOnlyBuffer;
};

// The server's own product line, in answers and the Basic realm.
inline constexpr const char* kServerSoftware = "zorWebSockets 2023.6.0";

}  // namespace zor
