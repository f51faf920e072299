#pragma once
// What the OAuth2 client sends and reads, without any IO: the authorization
// address for the browser, the token requests' forms, and the token and
// redirect answers (RFC 6749 4.1, 4.4, 5, 6; PKCE RFC 7636).
#include <string>
#include <utility>
#include <vector>

namespace zor {

using TzorFormPairs = std::vector<std::pair<std::string, std::string>>;

// The authorization request's pairs, in this order: response_type "code",
// client_id and redirect_uri when not empty, scope (always), state, and the
// PKCE challenge with its method when a challenge is given.
TzorFormPairs AuthorizeParams(const std::string& aClientId, const std::string& aRedirectURI,
                              const std::string& aScope, const std::string& aState,
                              const std::string& aCodeChallenge);
// aAuthURL with the pairs form-encoded into its query.
std::string AuthorizeURL(const std::string& aAuthURL, const TzorFormPairs& aParams);

// The values every token request may carry besides its grant.
struct TzorOAuth2ClientCredentials {
  std::string ClientId;
  std::string ClientSecret;
};

// grant_type=authorization_code: code, redirect_uri, code_verifier (when
// set), then the client values that are set.
TzorFormPairs CodeTokenForm(const std::string& aCode, const std::string& aRedirectURI,
                            const std::string& aCodeVerifier, const TzorOAuth2ClientCredentials& aClient);
// grant_type=client_credentials: scope (when set), redirect_uri (when set),
// then the client values.
TzorFormPairs ClientCredentialsTokenForm(const std::string& aScope, const std::string& aRedirectURI,
                                         const TzorOAuth2ClientCredentials& aClient);
// grant_type=refresh_token: refresh_token, scope (when set), then the client values.
TzorFormPairs RefreshTokenForm(const std::string& aRefreshToken, const std::string& aScope,
                               const TzorOAuth2ClientCredentials& aClient);

// The members of a token answer (absent ones empty; numbers as their text).
struct TzorOAuth2TokenAnswer {
  std::string Access_Token;
  std::string Token_Type;
  std::string Expires_In;
  std::string Refresh_Token;
  std::string Scope;
};
// The members of an error answer.
struct TzorOAuth2ErrorAnswer {
  std::string Error;
  std::string Error_Description;
  std::string Error_URI;
};
// False when the text is not a JSON object.
bool ReadTokenAnswer(const std::string& aBody, TzorOAuth2TokenAnswer& aAnswer);
bool ReadErrorAnswer(const std::string& aBody, TzorOAuth2ErrorAnswer& aAnswer);

// What the browser brought back to the redirect address.
struct TzorOAuth2Redirect {
  std::string Path;
  std::string RawParams;  // the query as received
  std::string Code, State, Scope, Error, Error_Description, Error_URI;
  bool Valid = false;  // a GET request line with a readable query
};
// From the request line of the listener's request; a later occurrence of a
// name wins.
TzorOAuth2Redirect ReadRedirect(const std::string& aRequestLine);

}  // namespace zor
