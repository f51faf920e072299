#pragma once
// One authorization in progress or granted (its application, the browser's
// parameters, the code, the token) and the locked list of them.
#include "oauth2/oauth_apps.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zor {

using TzorOAuth2Clock = std::chrono::system_clock;
using TzorOAuth2Time = TzorOAuth2Clock::time_point;

enum TzorOAuth2CurrentState : uint8_t { oat2RequestAuthorization, oat2AuthorizationCode, oat2AccessToken };

// 64 lower-case hexadecimal digits from the CSPRNG (two GUIDs joined).
std::string NewOAuth2TokenText();

// An access token issued, with its refresh token, scope and expiry.
class TzorHTTPOAuth2AccessToken {
 public:
  std::string AccessToken;
  std::string RefreshToken;
  TzorOAuth2Time Expires{};
  // Until when the refresh token is taken; each refresh replaces it.
  TzorOAuth2Time RefreshExpires{};
  // Whole seconds from `now` to Expires while Expires lies ahead, else -1.
  int64_t ExpiresIn(TzorOAuth2Time now) const;
};

// The user and password a sign-in gave.
struct TzorOAuth2Authentication {
  std::string User;
  std::string Password;
};

// One authorization in progress: from the sign-in page to its code and token.
class TzorHTTPOAuth2Request {
 public:
  // The request id: 64 lower-case hexadecimal digits from the CSPRNG.
  TzorHTTPOAuth2Request();

  const std::string& ID() const { return FID; }

  TzorHTTPOAuthAppPtr App;
  TzorOAuth2Authentication Authentication;
  // Set when the sign-in succeeds: 32 lower-case hexadecimal digits.
  std::string AuthorizationCode;
  std::string Client_Id;
  std::string Redirect_URI;
  std::string Response_Type;
  std::string Scope;
  std::string State;
  TzorOAuth2CurrentState CurrentState = oat2RequestAuthorization;
  TzorOAuth2GrantTypes GrantType = auth2Code;
  TzorHTTPOAuth2AccessToken Token;

  // Whether the browser's request named the redirect address (the exchange
  // must then name the same one).
  bool RedirectGiven = false;
  // PKCE (S256): BASE64URL(SHA256(verifier)) that the exchange must prove.
  std::string CodeChallenge;
  // When the sign-in page was shown, and when the code was handed out.
  TzorOAuth2Time Created{};
  TzorOAuth2Time CodeIssued{};
  int RefusedSignIns = 0;

 private:
  std::string FID;
};

using TzorHTTPOAuth2RequestPtr = std::shared_ptr<TzorHTTPOAuth2Request>;

// The list of requests, oldest first, with its own lock (re-entrant, as the
// token check raises an event while holding it).
class TzorHTTPOAuth2Requests {
 public:
  std::recursive_mutex& Lock() const { return FLock; }
  // The lock must be held for these.
  std::vector<TzorHTTPOAuth2RequestPtr>& Items() { return FItems; }
  void Remove(const TzorHTTPOAuth2RequestPtr& request);

  size_t Count() const;

 private:
  mutable std::recursive_mutex FLock;
  std::vector<TzorHTTPOAuth2RequestPtr> FItems;
};

}  // namespace zor
