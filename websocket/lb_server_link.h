#pragma once
// The server's side of its load-balancer link: the options, what the server
// announces when the link comes up and as its clients come and go, where its
// writes and broadcasts go, and how it delivers what the balancer sends back
// to its own connections. The server component is seen through a small
// interface, so this logic is tested without sockets.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/persistent.h"
#include "websocket/lb_link.h"

namespace zor {

// Options of a server's load-balancer link.
class TzorWSLoadBalancerServer_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorWSLoadBalancerServer_Options"; }
  void Assign(const TPersistent& source) override;

  bool AutoRegisterBindings() const { return FAutoRegisterBindings; }
  void SetAutoRegisterBindings(bool value) { FAutoRegisterBindings = value; }
  // Seconds between the link's reconnection attempts; 0: no watchdog.
  int32_t AutoRestart() const { return FAutoRestart; }
  void SetAutoRestart(int32_t value) { FAutoRestart = value; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value) { FEnabled = value; }
  const std::string& Host() const { return FHost; }
  void SetHost(const std::string& value) { FHost = value; }
  int32_t Port() const { return FPort; }
  void SetPort(int32_t value) { FPort = value; }
  // Entries "scheme:host:port" announced as bindings besides the listening sockets.
  const std::vector<std::string>& Bindings() const { return FBindings; }
  void SetBindings(const std::vector<std::string>& value) { FBindings = value; }
  // The server's identity on the link.
  const std::string& Guid() const { return FGuid; }
  void SetGuid(const std::string& value) { FGuid = value; }

 private:
  bool FAutoRegisterBindings = false;
  int32_t FAutoRestart = 0;
  bool FEnabled = false;
  std::string FHost;
  int32_t FPort = 0;
  std::vector<std::string> FBindings;
  std::string FGuid;
};

// What the link needs of the server component that keeps it.
class IzorLoadBalancedServer {
 public:
  virtual ~IzorLoadBalancedServer() = default;
  // Address, port and whether the port is the TLS port, per listening socket.
  virtual std::vector<TzorWSLoadBalancerServerBinding> ListeningBindings() = 0;
  // Every client connection the server holds, as announced ("active" true).
  virtual std::vector<TzorWSLoadBalancerClientConnection> OwnConnections() = 0;
  // Writes to the server's own connection with that guid; false when it
  // holds none.
  virtual bool WriteOwn(const std::string& aGuid, const std::string& aText) = 0;
  virtual bool WriteOwn(const std::string& aGuid, TzorStringStream& aStream) = 0;
  // Delivers to every own connection that MatchesBroadcast and is subscribed
  // to the channel.
  virtual void BroadcastOwn(const TzorWSLoadBalancerAddress& aFilter, const std::string& aText) = 0;
  virtual void BroadcastOwn(const TzorWSLoadBalancerAddress& aFilter, TzorStringStream& aStream) = 0;
};

// The server's side of its load-balancer link.
class TzorWSLoadBalancerServerLink {
 public:
  TzorWSLoadBalancerServerLink(IzorLoadBalancedServer& aServer, IzorLoadBalancerTransport& aTransport);

  TzorWSLoadBalancerServer_Options& LoadBalancer() { return FOptions; }
  void SetLoadBalancer(const TzorWSLoadBalancerServer_Options& value) { FOptions.Assign(value); }
  TzorWSLoadBalancerLink& Link() { return FLink; }
  // What the balancer sends, raised by aEvents, goes to the server's own
  // connections. The link's own events are served from the start; a link
  // client that decodes for itself is served through this.
  void Serve(TzorWSLoadBalancerEvents& aEvents);

  // The link came up: OnLoadBalancerConnect, then identity, bindings, one
  // announcement per connection the server holds, and the ready text. False
  // when any of them could not be sent.
  bool LinkConnected();
  // A client connection opened (after the server's own handling) or closes
  // (before it).
  bool ConnectionChanged(const TzorWSLoadBalancerClientConnection& aConnection);
  // The server's own connections first; otherwise over the link. False when
  // the message went nowhere.
  bool WriteData(const std::string& aGuid, const std::string& aMessage);
  bool WriteData(const std::string& aGuid, TzorStringStream& aStream);
  // Over the link only: the server's own connections get it back from the
  // balancer.
  bool Broadcast(const std::string& aMessage, const std::string& aChannel, const std::string& aProtocol,
                 const std::string& Exclude, const std::string& Include);
  bool Broadcast(TzorStringStream& aStream, const std::string& aChannel, const std::string& aProtocol,
                 const std::string& Exclude, const std::string& Include);

  std::function<void()> OnLoadBalancerConnect;
  std::function<void(const std::string& aError)> OnLoadBalancerError;

 private:
  void Deliver(bool aDelivered, const std::string& aGuid);

  TzorWSLoadBalancerServer_Options FOptions;
  IzorLoadBalancedServer& FServer;
  TzorWSLoadBalancerLink FLink;
};

}  // namespace zor
