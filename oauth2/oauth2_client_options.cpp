#include "oauth2/oauth2_client_options.h"

#include "base/random.h"

namespace zor {

std::string TzorHTTPOAuth_LocalServerOptions::RedirectAddress(int32_t aPort) const {
  if (!RedirectURL.empty()) return RedirectURL;
  return std::string(SSL ? "https://" : "http://") + IP + ":" + std::to_string(aPort);
}

std::string TzorHTTPOAuth_AuthorizationServer::PlainScope() const {
  std::string scope;
  for (const std::string& line : Scope) {
    const size_t first = line.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) continue;
    if (!scope.empty()) scope += ' ';
    scope += line.substr(first, line.find_last_not_of(" \t\r\n") - first + 1);
  }
  return scope;
}

void TzorHTTPOAuth2_Options::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TzorHTTPOAuth2_Options*>(&source);
  if (!other) return TPersistent::Assign(source);
  ClientId = other->ClientId;
  ClientSecret = other->ClientSecret;
  Username = other->Username;
  Password = other->Password;
  GrantType = other->GrantType;
  PKCE = other->PKCE;
}

const std::string& TzorHTTPOAuth2_Options::State() {
  if (FState.empty()) FState = NewGuidText();
  return FState;
}

void TzorHTTPClient_Options::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TzorHTTPClient_Options*>(&source);
  if (!other) return TPersistent::Assign(source);
  FTLSOptions.Assign(other->FTLSOptions);
  FLogOptions.Assign(other->FLogOptions);
}

}  // namespace zor
