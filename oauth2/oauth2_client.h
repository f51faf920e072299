#pragma once
// The OAuth2 client: obtains access tokens by the authorization-code grant
// (the user signs in in the browser; the redirect comes back to a small
// listener on our own server) or the client-credentials grant, refreshes
// them on a timer, and hands each token to the HTTP client through the
// token-source events.
#include "http/auth_token.h"
#include "oauth2/oauth2_client_messages.h"
#include "oauth2/oauth2_client_options.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zor {

class TzorTimer;
class TzorWSHTTPServer;

// Base of the OAuth clients: the options and the local redirect listener.
class TzorHTTPComponentClient_OAuth : public TzorHTTPComponentClientAuthToken_Base {
 public:
  explicit TzorHTTPComponentClient_OAuth(TzorComponent_Base* aOwner = nullptr);
  ~TzorHTTPComponentClient_OAuth() override;

  TzorHTTPOAuth_AuthorizationServer& AuthorizationServerOptions() { return FAuthorizationServerOptions; }
  void SetAuthorizationServerOptions(const TzorHTTPOAuth_AuthorizationServer& v) { FAuthorizationServerOptions.Assign(v); }
  TzorHTTPOAuth_LocalServerOptions& LocalServerOptions() { return FLocalServerOptions; }
  void SetLocalServerOptions(const TzorHTTPOAuth_LocalServerOptions& v) { FLocalServerOptions.Assign(v); }

  // The redirect address sent to the provider (with the port actually
  // listened on when the options ask for a free one).
  std::string RedirectAddress() const;
  bool LocalServerActive() const;

  virtual void Stop() = 0;

 protected:
  // One request the browser brought to the listener (favicon requests never
  // get here); sets the status and the text page it is answered with.
  virtual void HandleRedirect(const TzorOAuth2Redirect& aRedirect, int& aCode, std::string& aText) = 0;
  virtual void StartLocalServer();
  virtual void StopLocalServer();
  // Ends the stop started from the listener's own thread, if any.
  void JoinListenerStop();

 private:
  void OnListenerRequest(class TzorWSConnectionServer* aConnection, const std::string& aRequestLine);
  // Not virtual: also called by the stopping thread and the destructor.
  void DeactivateListener();

  TzorHTTPOAuth_AuthorizationServer FAuthorizationServerOptions;
  TzorHTTPOAuth_LocalServerOptions FLocalServerOptions;
  mutable std::mutex FServerLock;  // the listener's creation and activity
  std::unique_ptr<TzorWSHTTPServer> FHTTPServer;
  std::mutex FStopperLock;
  std::thread FStopper;  // stops the listener after it answered
};

// The OAuth2 client component: it gets, refreshes and hands on access tokens.
class TzorHTTPComponentClient_OAuth2 : public TzorHTTPComponentClient_OAuth {
 public:
  using TBeforeAuthorizeCode = std::function<void(TzorComponent_Base* Sender, std::string& URL, bool& Handled)>;
  using TAfterAuthorizeCode =
      std::function<void(TzorComponent_Base* Sender, const std::string& Code, const std::string& State,
                         const std::string& Scope, const std::string& RawParams, bool& Handled)>;
  using TErrorAuthorizeCode = std::function<void(
      TzorComponent_Base* Sender, const std::string& Error, const std::string& Error_Description,
      const std::string& Error_URI, const std::string& State, const std::string& RawParams)>;
  using TBeforeToken =
      std::function<void(TzorComponent_Base* Sender, std::string& URL, std::string& Parameters, bool& Handled)>;
  using TAfterToken = std::function<void(
      TzorComponent_Base* Sender, const std::string& Access_Token, const std::string& Token_Type,
      const std::string& Expires_In, const std::string& Refresh_Token, const std::string& Scope,
      const std::string& RawParams, bool& Handled)>;
  using TErrorToken =
      std::function<void(TzorComponent_Base* Sender, const std::string& Error, const std::string& Error_Description,
                         const std::string& Error_URI, const std::string& RawParams)>;
  using THTTPResponse = std::function<void(TzorComponent_Base* Sender, int& Code, std::string& Text)>;

  explicit TzorHTTPComponentClient_OAuth2(TzorComponent_Base* aOwner = nullptr);
  ~TzorHTTPComponentClient_OAuth2() override;

  TzorHTTPOAuth2_Options& OAuth2Options() { return FOAuth2Options; }
  void SetOAuth2Options(const TzorHTTPOAuth2_Options& v) { FOAuth2Options.Assign(v); }
  TzorHTTPClient_Options& HTTPClientOptions() { return FHTTPClientOptions; }
  void SetHTTPClientOptions(const TzorHTTPClient_Options& v) { FHTTPClientOptions.Assign(v); }

  // Begins obtaining a token by GrantType. Configuration errors raise; what
  // the provider answers goes to the events.
  void Start() override;
  // Stops the listener and the refresh timer.
  void Stop() override;
  // Runs a refresh request with the token.
  void Refresh(const std::string& aRefreshToken);
  // Hands the address to the browser; false when that fails.
  virtual bool OpenWebBrowser(const std::string& aURL);
  // How OpenWebBrowser opens an address (xdg-open); tests put their browser here.
  std::function<bool(const std::string& aURL)> WebBrowserOpener;

  // Milliseconds until the armed refresh, 0 when none is armed.
  int32_t RefreshInterval() const;

  TBeforeAuthorizeCode OnBeforeAuthorizeCode;
  TAfterAuthorizeCode OnAfterAuthorizeCode;
  TErrorAuthorizeCode OnErrorAuthorizeCode;
  TBeforeToken OnBeforeAccessToken;
  TAfterToken OnAfterAccessToken;
  TErrorToken OnErrorAccessToken;
  TBeforeToken OnBeforeRefreshToken;
  TAfterToken OnAfterRefreshToken;
  TErrorToken OnErrorRefreshToken;
  THTTPResponse OnHTTPResponse;

 protected:
  void HandleRedirect(const TzorOAuth2Redirect& aRedirect, int& aCode, std::string& aText) override;

 private:
  struct Exchange;

  void Authorize();
  void RequestAccessToken(const std::string& aCode, const std::string& aCodeVerifier, int& aStatus,
                          std::string& aText);
  void RequestRefreshToken(const std::string& aRefreshToken);
  // POSTs the form to an HTTPS token address; false when nothing was sent.
  bool PostForm(std::string aURL, std::string aBody, const TBeforeToken& aBefore, Exchange& aExchange);
  void ReadAccessToken(const std::string& aBody);
  void ReadRefreshedToken(const std::string& aBody);
  void ReportAccessTokenError(const TzorOAuth2ErrorAnswer& aError, const std::string& aRawParams);
  void ReportRefreshTokenError(const TzorOAuth2ErrorAnswer& aError, const std::string& aRawParams);
  void ScheduleRefresh(int64_t aSeconds);
  void FreeRefreshTimer();
  TzorOAuth2ClientCredentials Client() const;

  TzorHTTPOAuth2_Options FOAuth2Options;
  TzorHTTPClient_Options FHTTPClientOptions;
  mutable std::mutex FLock;  // the fields below
  std::unique_ptr<TzorTimer> FTimer;
  bool FStopped = false;
  std::string FRefreshToken;
  int64_t FExpiresIn = 0;
  // What the awaited redirect must bring back; used once.
  std::string FExpectedState;
  std::string FCodeVerifier;
};

}  // namespace zor
