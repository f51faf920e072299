#pragma once
// The applications an OAuth2 authorization server knows: name, client id and
// secret, the one redirect address each may use, token lifetime and grants.
#include "auth/server_auth_token.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zor {

enum TzorOAuth2GrantTypes : uint8_t { auth2Code, auth2ClientCredentials };

// A set of grant types.
class TzorOAuth2GrantTypeSet {
 public:
  TzorOAuth2GrantTypeSet(std::initializer_list<TzorOAuth2GrantTypes> types = {}) {
    for (auto type : types) Include(type);
  }
  bool Contains(TzorOAuth2GrantTypes type) const { return (FBits >> type) & 1u; }
  void Include(TzorOAuth2GrantTypes type) { FBits |= 1u << type; }
  void Exclude(TzorOAuth2GrantTypes type) { FBits &= ~(1u << type); }

 private:
  uint8_t FBits = 0;
};

// One registered application.
class TzorHTTPOAuthApp {
 public:
  std::string AppName;
  std::string ClientId;
  std::string ClientSecret;
  std::string RedirectURI;
  // Seconds an access token lives.
  int32_t ExpiresIn = 3600;
  // Whether token answers carry a refresh token.
  bool RefreshToken = true;
  TzorOAuth2GrantTypeSet AllowedGrantTypes{auth2Code, auth2ClientCredentials};
  // Code exchanges must prove the PKCE challenge of their sign-in (public
  // clients). A client that sends a challenge is held to it either way.
  bool RequirePKCE = false;
};

using TzorHTTPOAuthAppPtr = std::shared_ptr<TzorHTTPOAuthApp>;

// The registry, with its own lock. Applications are shared: one found stays
// valid while its holder keeps it, even when it is unregistered meanwhile.
class TzorHTTPOAuthApps {
 public:
  bool Add(TzorHTTPOAuthAppPtr app);
  bool Remove(const std::string& aName);
  TzorHTTPOAuthAppPtr Find(const std::string& aName) const;
  // The most recently added application with that client id (compared in
  // constant time); null for an empty id.
  TzorHTTPOAuthAppPtr FindByClientId(const std::string& aClientId) const;
  size_t Count() const;

 private:
  mutable std::mutex FLock;
  std::vector<TzorHTTPOAuthAppPtr> FApps;
};

// The application registry of the OAuth2 server components.
class TzorHTTPComponentServer_OAuth : public TzorHTTPComponentServerAuthToken_Base {
 public:
  using TzorHTTPComponentServerAuthToken_Base::TzorHTTPComponentServerAuthToken_Base;

  // False when an application of that name exists (nothing changes);
  // otherwise the application is added with a new client id and secret, both
  // 32 upper-case hexadecimal digits from the CSPRNG.
  bool RegisterApp(const std::string& aName, const std::string& aRedirectURI, std::string& ClientId,
                   std::string& ClientSecret);
  bool UnRegisterApp(const std::string& aName);
  TzorHTTPOAuthAppPtr GetApp(const std::string& aName) const;
  TzorHTTPOAuthAppPtr GetAppByClientId(const std::string& aClientId) const;

 protected:
  TzorHTTPOAuthApps& Apps() { return FApps; }

 private:
  TzorHTTPOAuthApps FApps;
};

}  // namespace zor
