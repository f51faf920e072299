#include "oauth2/oauth_apps.h"

#include "base/random.h"
#include "server/secrets.h"

#include <algorithm>

namespace zor {

bool TzorHTTPOAuthApps::Add(TzorHTTPOAuthAppPtr app) {
  std::lock_guard guard(FLock);
  const auto same = [&](const TzorHTTPOAuthAppPtr& a) { return a->AppName == app->AppName; };
  if (std::any_of(FApps.begin(), FApps.end(), same)) return false;
  FApps.push_back(std::move(app));
  return true;
}

bool TzorHTTPOAuthApps::Remove(const std::string& aName) {
  std::lock_guard guard(FLock);
  const auto at = std::find_if(FApps.begin(), FApps.end(), [&](const auto& a) { return a->AppName == aName; });
  if (at == FApps.end()) return false;
  FApps.erase(at);
  return true;
}

TzorHTTPOAuthAppPtr TzorHTTPOAuthApps::Find(const std::string& aName) const {
  std::lock_guard guard(FLock);
  for (const auto& app : FApps)
    if (app->AppName == aName) return app;
  return nullptr;
}

TzorHTTPOAuthAppPtr TzorHTTPOAuthApps::FindByClientId(const std::string& aClientId) const {
  std::lock_guard guard(FLock);
  for (auto at = FApps.rbegin(); at != FApps.rend(); ++at)
    if (SecretsEqual((*at)->ClientId, aClientId)) return *at;
  return nullptr;
}

size_t TzorHTTPOAuthApps::Count() const {
  std::lock_guard guard(FLock);
  return FApps.size();
}

bool TzorHTTPComponentServer_OAuth::RegisterApp(const std::string& aName, const std::string& aRedirectURI,
                                                std::string& ClientId, std::string& ClientSecret) {
  if (FApps.Find(aName)) return false;
  auto app = std::make_shared<TzorHTTPOAuthApp>();
  app->AppName = aName;
  app->RedirectURI = aRedirectURI;
  app->ClientId = NewGuidText();
  app->ClientSecret = NewGuidText();
  // Two registrations of one name at once: only the first one counts.
  if (!FApps.Add(app)) return false;
  ClientId = app->ClientId;
  ClientSecret = app->ClientSecret;
  return true;
}

bool TzorHTTPComponentServer_OAuth::UnRegisterApp(const std::string& aName) { return FApps.Remove(aName); }

TzorHTTPOAuthAppPtr TzorHTTPComponentServer_OAuth::GetApp(const std::string& aName) const { return FApps.Find(aName); }

TzorHTTPOAuthAppPtr TzorHTTPComponentServer_OAuth::GetAppByClientId(const std::string& aClientId) const {
  return FApps.FindByClientId(aClientId);
}

}  // namespace zor
