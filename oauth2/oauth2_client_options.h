#pragma once
// Options of the OAuth2 client: the provider's two addresses and scope, the
// local listener that receives the browser's redirect, the client's
// credentials and grant, and the HTTP client's TLS and log settings.
#include "http/proxy_options.h"
#include "http/tls_options.h"
#include "oauth2/oauth_apps.h"
#include "server/server_options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zor {

// TLS of the local listener, with its own port.
class TzorHTTPOAuthSSL_Options : public TzorOptionsGroup<TzorHTTPOAuthSSL_Options> {
 public:
  const char* ClassName() const override { return "TzorHTTPOAuthSSL_Options"; }
  std::string CertFile;
  std::string KeyFile;
  int32_t Port = 8443;
};

// The local listener that receives the authorization redirect.
class TzorHTTPOAuth_LocalServerOptions : public TzorOptionsGroup<TzorHTTPOAuth_LocalServerOptions> {
 public:
  const char* ClassName() const override { return "TzorHTTPOAuth_LocalServerOptions"; }
  std::string IP = "127.0.0.1";
  // 0 listens on a free port, which then goes into the redirect address.
  int32_t Port = 8080;
  std::string RedirectURL;
  bool SSL = false;
  TzorHTTPOAuthSSL_Options SSLOptions;

  int32_t ListeningPort() const { return SSL ? SSLOptions.Port : Port; }
  // RedirectURL when set, otherwise "http(s)://" IP ":" port.
  std::string RedirectAddress(int32_t aPort) const;
};

// Where the authorization server's authorization and token addresses are.
class TzorHTTPOAuth_AuthorizationServer : public TzorOptionsGroup<TzorHTTPOAuth_AuthorizationServer> {
 public:
  const char* ClassName() const override { return "TzorHTTPOAuth_AuthorizationServer"; }
  std::string AuthURL;
  std::string TokenURL;
  std::vector<std::string> Scope;
  // Each line trimmed, joined with single spaces.
  std::string PlainScope() const;
};

// The client's registration and grant: id, secret, user, grant type, PKCE, state.
class TzorHTTPOAuth2_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTPOAuth2_Options"; }
  // Copies everything but State.
  void Assign(const TPersistent& source) override;

  std::string ClientId;
  std::string ClientSecret;
  std::string Username;
  std::string Password;
  TzorOAuth2GrantTypes GrantType = auth2Code;
  // Proof Key for Code Exchange (S256) in the code grant; servers that do
  // not know it ignore its parameters.
  bool PKCE = true;

  // Made on first read when empty: 32 hexadecimal digits from the CSPRNG.
  const std::string& State();
  void SetState(std::string value) { FState = std::move(value); }

 private:
  std::string FState;
};

// How the OAuth2 client's HTTP requests are made: TLS and log.
class TzorHTTPClient_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTPClient_Options"; }
  void Assign(const TPersistent& source) override;

  TzorIdHTTPTLS_Options& TLSOptions() { return FTLSOptions; }
  const TzorIdHTTPTLS_Options& TLSOptions() const { return FTLSOptions; }
  TzorHttpLogFile& LogOptions() { return FLogOptions; }
  const TzorHttpLogFile& LogOptions() const { return FLogOptions; }

 private:
  TzorIdHTTPTLS_Options FTLSOptions;
  TzorHttpLogFile FLogOptions;
};

}  // namespace zor
