#include "http/proxy_options.h"

#include "base/format.h"
#include "net/net_errors.h"

namespace zor {

void TzorHTTPProxy_Options::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorHTTPProxy_Options*>(&source);
  if (!from) return TPersistent::Assign(source);
  FEnabled = from->FEnabled;
  FHost = from->FHost;
  FPort = from->FPort;
  FUsername = from->FUsername;
  FPassword = from->FPassword;
  FProxyType = from->FProxyType;
}

void TzorHttpLogFile::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorHttpLogFile*>(&source);
  if (!from) return TPersistent::Assign(source);
  FFileName = from->FFileName;
}

TzorProxySettings ProxySettings(const TzorHTTPProxy_Options& options) {
  if (options.Port() < 0 || options.Port() > 65535)
    throw EzorProxyError(Format("Invalid proxy port %d", options.Port()));
  TzorProxySettings settings;
  settings.Enabled = options.Enabled();
  settings.ProxyType = options.ProxyType();
  settings.Host = options.Host();
  settings.Port = static_cast<uint16_t>(options.Port());
  settings.Username = options.Username();
  settings.Password = options.Password();
  return settings;
}

}  // namespace zor
