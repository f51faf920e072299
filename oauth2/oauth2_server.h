#pragma once
// The OAuth2 authorization server: registered applications sign users in on
// a page at the authorization address, get an authorization code through the
// browser's redirect, and exchange it (or their client credentials, or a
// refresh token) at the token address for a bearer token that the WebSocket
// and HTTP server then accepts. Sans-IO: requests come in as values and
// answers go out as values (oauth2_http.h); everything is kept in memory.
#include "oauth2/form_fields.h"
#include "oauth2/oauth2_http.h"
#include "oauth2/oauth2_request.h"
#include "oauth2/oauth2_server_options.h"
#include "oauth2/oauth_apps.h"
#include "server/server_authentication.h"

#include <functional>
#include <string>
#include <vector>

namespace zor {

// Base of the OAuth2 server components: the registry, and what the WebSocket
// and HTTP server asks of an attached OAuth2 server.
class TzorHTTPComponentServer_OAuth2_Base : public TzorHTTPComponentServer_OAuth, public IzorWSOAuth2Server {
 public:
  using TzorHTTPComponentServer_OAuth::TzorHTTPComponentServer_OAuth;
};

// The OAuth2 authorization server component.
class TzorHTTPComponentServer_OAuth2 : public TzorHTTPComponentServer_OAuth2_Base {
 public:
  using TOnOAuth2BeforeRequest = std::function<void(TzorComponent_Base* Sender, TzorWSConnection* aConnection,
                                                    const std::vector<std::string>& aHeaders, bool& Cancel)>;
  using TOnOAuth2BeforeDispatchPage =
      std::function<void(TzorComponent_Base* Sender, const TzorHTTPOAuth2Request& OAuth2, std::string& HTML)>;
  using TOnOAuth2Authentication =
      std::function<void(TzorWSConnection* Connection, const TzorHTTPOAuth2Request& OAuth2, const std::string& aUser,
                         const std::string& aPassword, bool& Authenticated)>;
  using TOnOAuth2AfterToken = std::function<void(TzorComponent_Base* Sender, TzorWSConnection* Connection,
                                                 const TzorHTTPOAuth2Request& OAuth2, const std::string& aResponse)>;
  using TOnOAuth2AfterValidateAccessToken = std::function<void(
      TzorComponent_Base* Sender, TzorWSConnection* Connection, const TzorHTTPOAuth2Request& OAuth2, bool& IsValid)>;
  using TOnOAuth2Unauthorized =
      std::function<void(TzorComponent_Base* Sender, TzorWSConnection* aConnection, bool& Disconnect)>;

  using TzorHTTPComponentServer_OAuth2_Base::TzorHTTPComponentServer_OAuth2_Base;

  TzorHTTPOAuth2Server_Options& OAuth2Options() { return FOAuth2Options; }
  void SetOAuth2Options(const TzorHTTPOAuth2Server_Options& value) { FOAuth2Options.Assign(value); }

  // Answers one HTTP request when it is for the authorization or the token
  // address; otherwise the answer is oakNotHandled.
  TzorOAuth2HTTPAnswer DoProcessHTTP(TzorWSConnection* aConnection, const TzorOAuth2HTTPRequest& aRequest);

  // Whether the header lines carry a live bearer token of this server.
  bool IsOAuth2TokenValid(TzorWSConnection* aConnection, const std::vector<std::string>& aHeaders) override;
  bool IsOAuth2TokenValid(TzorWSConnection* aConnection, const std::string& aToken);
  // Raises OnOAuth2Unauthorized (Disconnect true unless the handler says
  // otherwise) and answers Disconnect.
  bool IsOAuth2Unauthorized(TzorWSConnection* aConnection) override;

  // Registers a token issued elsewhere; false for an unknown application or
  // for a token that has expired and cannot be refreshed.
  bool AddToken(const std::string& aAppName, const std::string& aToken, TzorOAuth2Time aExpires,
                const std::string& aRefreshToken, const std::string& aScope);
  // Removes the most recent request holding that access token.
  bool RemoveToken(const std::string& aToken);

  size_t RequestCount() const { return FRequests.Count(); }
  // The clock that token and code lifetimes are measured on.
  std::function<TzorOAuth2Time()> Clock = [] { return TzorOAuth2Clock::now(); };

  TOnOAuth2BeforeRequest OnOAuth2BeforeRequest;
  TOnOAuth2BeforeDispatchPage OnOAuth2BeforeDispatchPage;
  TOnOAuth2Authentication OnOAuth2Authentication;
  TOnOAuth2AfterToken OnOAuth2AfterAccessToken;
  TOnOAuth2AfterToken OnOAuth2AfterRefreshToken;
  TOnOAuth2AfterValidateAccessToken OnOAuth2AfterValidateAccessToken;
  TOnOAuth2Unauthorized OnOAuth2Unauthorized;

 private:
  struct TokenRequest;

  TzorOAuth2HTTPAnswer PageStep(const TzorFormFields& query);
  TzorOAuth2HTTPAnswer SignInStep(TzorWSConnection* aConnection, const TzorFormFields& fields);
  TzorOAuth2HTTPAnswer TokenStep(TzorWSConnection* aConnection, const TzorOAuth2HTTPRequest& aRequest);
  TzorOAuth2HTTPAnswer ExchangeCode(TzorWSConnection* aConnection, const TokenRequest& token);
  TzorOAuth2HTTPAnswer ClientCredentials(TzorWSConnection* aConnection, const TokenRequest& token);
  TzorOAuth2HTTPAnswer Refresh(TzorWSConnection* aConnection, const TokenRequest& token);
  // Drops what can no longer be used: sign-in pages and codes past their
  // time, tokens that have expired and can no longer be refreshed, and the
  // oldest pages beyond the limit. The list's lock is held.
  void Prune(TzorOAuth2Time now);
  TzorOAuth2Time RefreshTokenExpiry(TzorOAuth2Time now) const;
  TzorHTTPOAuth2RequestPtr FindRequestById(const std::string& aId);
  bool RaiseBeforeRequest(TzorWSConnection* aConnection, const std::vector<std::string>& aHeaders);

  TzorHTTPOAuth2Server_Options FOAuth2Options;
  TzorHTTPOAuth2Requests FRequests;
};

}  // namespace zor
