#pragma once
// Proxy and traffic-log options of the HTTP client, and the proxy set-up
// they turn into for a connection.
#include <cstdint>
#include <string>

#include "base/persistent.h"
#include "net/proxy.h"

namespace zor {

// Proxy options of the HTTP client.
class TzorHTTPProxy_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHTTPProxy_Options"; }
  // Copies Enabled, Host, Port, Username, Password and ProxyType.
  void Assign(const TPersistent& source) override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  const std::string& Host() const { return FHost; }
  void SetHost(const std::string& value) { FHost = value; }
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& value) { FPassword = value; }
  int32_t Port() const { return FPort; }
  void SetPort(int32_t value) { FPort = value; }
  TwsProxy ProxyType() const { return FProxyType; }
  void SetProxyType(TwsProxy value) { FProxyType = value; }
  const std::string& Username() const { return FUsername; }
  void SetUsername(const std::string& value) { FUsername = value; }

 private:
  bool FEnabled = false;
  std::string FHost;
  std::string FPassword;
  int32_t FPort = 0;
  TwsProxy FProxyType = pxyHTTP;
  std::string FUsername;
};

// Traffic-log options of the HTTP client.
class TzorHttpLogFile : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorHttpLogFile"; }
  void Assign(const TPersistent& source) override;

  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& value) { FFileName = value; }

 private:
  std::string FFileName;
};

// The tunnel a connection opens for these options: the kind and the proxy's
// address, credentials exactly when a user name is set. A port outside
// 0..65535 raises EzorProxyError.
TzorProxySettings ProxySettings(const TzorHTTPProxy_Options& options);

}  // namespace zor
