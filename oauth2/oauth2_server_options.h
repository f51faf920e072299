#pragma once
// Options of the OAuth2 authorization server: its two addresses and the
// lifetimes of what it hands out before a token.
#include "server/server_options.h"

#include <string>

namespace zor {

// The authorization address (sign-in page and sign-in).
class TzorHTTPOAuth2Server_Authorization : public TzorOptionsGroup<TzorHTTPOAuth2Server_Authorization> {
 public:
  const char* ClassName() const override { return "TzorHTTPOAuth2Server_Authorization"; }
  bool Enabled = true;
  std::string URL = "/zor/oauth2/auth";
  // Seconds an authorization code can be exchanged (RFC 6749 4.1.2: short).
  int CodeExpiresIn = 60;
  // Seconds a shown sign-in page can be used to sign in.
  int SignInExpiresIn = 600;
  // Refused sign-ins after which the request is dropped.
  int MaxRefusedSignIns = 5;
  // Requests awaiting sign-in kept at most; the oldest go first.
  int MaxPendingRequests = 10000;
};

// The token address.
class TzorHTTPOAuth2Server_Token : public TzorOptionsGroup<TzorHTTPOAuth2Server_Token> {
 public:
  const char* ClassName() const override { return "TzorHTTPOAuth2Server_Token"; }
  bool Enabled = true;
  std::string URL = "/zor/oauth2/token";
  // Seconds a refresh token can be used. Each refresh hands out a new one and
  // retires the old, so a stolen refresh token works once at most.
  int RefreshTokenExpiresIn = 30 * 24 * 3600;
};

// The authorization server's two addresses: the authorization page and the token address.
class TzorHTTPOAuth2Server_Options : public TzorOptionsGroup<TzorHTTPOAuth2Server_Options> {
 public:
  const char* ClassName() const override { return "TzorHTTPOAuth2Server_Options"; }
  TzorHTTPOAuth2Server_Authorization& Authorization() { return FAuthorization; }
  const TzorHTTPOAuth2Server_Authorization& Authorization() const { return FAuthorization; }
  void SetAuthorization(const TzorHTTPOAuth2Server_Authorization& value) { FAuthorization.Assign(value); }
  TzorHTTPOAuth2Server_Token& Token() { return FToken; }
  const TzorHTTPOAuth2Server_Token& Token() const { return FToken; }
  void SetToken(const TzorHTTPOAuth2Server_Token& value) { FToken.Assign(value); }

 private:
  TzorHTTPOAuth2Server_Authorization FAuthorization;
  TzorHTTPOAuth2Server_Token FToken;
};

}  // namespace zor
