#pragma once
// Option objects of the WebSocket client: connection options, proxy, TLS,
// throttle and load balancer. Each is owned by the client and
// copied by value (Assign).
#include <cstdint>
#include <string>
#include <vector>

#include "base/persistent.h"
#include "http/proxy_options.h"
#include "http/tls_options.h"
#include "websocket/ws_connection.h"

namespace zor {


// Options of the client's connection: path parameters, origin, fragments, closing, UTF-8 checks.
class TzorWSOptionsClient : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSOptionsClient"; }
  void Assign(const TPersistent& source) override;

  bool CleanDisconnect() const { return FCleanDisconnect; }
  void SetCleanDisconnect(bool value) { FCleanDisconnect = value; }
  // The request path; "/" is put in front when it does not begin with one.
  std::string Parameters() const { return FParameters.starts_with("/") ? FParameters : "/" + FParameters; }
  void SetParameters(const std::string& value) { FParameters = value; }
  TwsFragmentedMessages FragmentedMessages() const { return FFragmentedMessages; }
  void SetFragmentedMessages(TwsFragmentedMessages value) { FFragmentedMessages = value; }
  const std::string& Origin() const { return FOrigin; }
  void SetOrigin(const std::string& value) { FOrigin = value; }
  bool RaiseDisconnectExceptions() const { return FRaiseDisconnectExceptions; }
  void SetRaiseDisconnectExceptions(bool value) { FRaiseDisconnectExceptions = value; }
  bool ValidateUTF8() const { return FValidateUTF8; }
  void SetValidateUTF8(bool value) { FValidateUTF8 = value; }

 private:
  bool FCleanDisconnect = false;
  std::string FParameters;
  TwsFragmentedMessages FFragmentedMessages = frgOnlyBuffer;
  std::string FOrigin;
  bool FRaiseDisconnectExceptions = true;
  bool FValidateUTF8 = false;
};

// The client's proxy: the HTTP client's options with port 8080 at creation.
class TzorWSProxy_Options : public TzorHTTPProxy_Options {
 public:
  TzorWSProxy_Options() { SetPort(8080); }
  const char* ClassName() const override { return "TzorWSProxy_Options"; }
};

// The client's TLS settings.
class TzorWSTLS_Options : public TzorTCPTLS_Options {
 public:
  const char* ClassName() const override { return "TzorWSTLS_Options"; }
  // From another object of this class: every field, so that a copy builds
  // the same transport. From anything else: the TzorSocketTLS_Options rule.
  void Assign(const TPersistent& source) override;
};

// Bandwidth limit of the client's connection.
class TzorWSThrottle : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSThrottle"; }
  void Assign(const TPersistent& source) override;

  uint32_t BitsPerSec() const { return FBitsPerSec; }
  void SetBitsPerSec(uint32_t value) { FBitsPerSec = value; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }

 private:
  uint32_t FBitsPerSec = 0;
  bool FEnabled = false;
};

// Where the client asks a load balancer which server to use.
class TzorWSLoadBalancerClient_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSLoadBalancerClient_Options"; }
  void Assign(const TPersistent& source) override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  const std::string& Host() const { return FHost; }
  void SetHost(const std::string& value) { FHost = value; }
  int32_t Port() const { return FPort; }
  void SetPort(int32_t value) { FPort = value; }
  // Entries "scheme:host:port", tried when the balancer does not answer.
  const std::vector<std::string>& Servers() const { return FServers; }
  std::vector<std::string>& Servers() { return FServers; }
  void SetServers(const std::vector<std::string>& value) { FServers = value; }

 private:
  bool FEnabled = false;
  std::string FHost;
  int32_t FPort = 0;
  std::vector<std::string> FServers;
};

}  // namespace zor
