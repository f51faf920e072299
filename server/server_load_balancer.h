#pragma once
// The server component's link to a load balancer, kept while the server runs
// and its LoadBalancer options are enabled: the link client (made on first
// use, reconnected by its watchdog every AutoRestart seconds), what the
// server announces over it, and what reaches the server's own connections
// from it. Writes for a connection the server does not hold, and every
// broadcast, go over the link.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "websocket/lb_client.h"
#include "websocket/lb_server_link.h"

namespace zor {

class TzorWSHTTPServer;

// The server component's side of the load-balancer link: announcements, forwarding, broadcasts.
class TzorWSServerLoadBalancer : private IzorLoadBalancedServer, private IzorLoadBalancerTransport {
 public:
  explicit TzorWSServerLoadBalancer(TzorWSHTTPServer& aServer);

  TzorWSLoadBalancerServer_Options& Options() { return FServerLink.LoadBalancer(); }
  bool Enabled() { return Options().Enabled(); }
  // The link client, made on first use.
  TzorWSLoadBalancerClient& Client();

  // Server start-up and shut-down: the link client is started (from a
  // thread of its own, so that an unreachable balancer does not hold the
  // server up) or stopped, when the link is enabled.
  void Start();
  void Stop();
  // A client connection opened (after the server's connect event) or is
  // closing (before its disconnect event). Not sent while the link is down:
  // the connections still held are announced when it comes up.
  void ConnectionChanged(TzorWSConnection& aConnection, bool aActive);

  // Own connections first, then (link enabled) over the link; false when
  // the message went nowhere (over a link that is down: reported through the
  // server's OnLoadBalancerError).
  bool WriteData(const std::string& aGuid, const std::string& aText);
  bool WriteData(const std::string& aGuid, TzorStringStream& aStream);
  // Link enabled: over the link only, the server's own connections get it
  // back from the balancer, and the stream holds the framed bytes
  // afterwards. Otherwise to the server's own connections.
  bool Broadcast(const std::string& aText, const TzorWSLoadBalancerAddress& aFilter);
  bool Broadcast(TzorStringStream& aStream, const TzorWSLoadBalancerAddress& aFilter);
  // Delivery to the server's own connections (no link): those subscribed to
  // the channel, when there is one, that the filter admits.
  void BroadcastOwn(const TzorWSLoadBalancerAddress& aFilter, const std::string& aText) override;
  void BroadcastOwn(const TzorWSLoadBalancerAddress& aFilter, TzorStringStream& aStream) override;

 private:
  std::vector<TzorWSLoadBalancerServerBinding> ListeningBindings() override;
  std::vector<TzorWSLoadBalancerClientConnection> OwnConnections() override;
  bool WriteOwn(const std::string& aGuid, const std::string& aText) override;
  bool WriteOwn(const std::string& aGuid, TzorStringStream& aStream) override;
  bool SendText(const std::string& aText) override;
  bool SendBinary(const std::string& aBytes) override;
  template <class Data>
  bool WriteHeld(const std::string& aGuid, const Data& aData);
  template <class Data>
  void DeliverToAll(const TzorWSLoadBalancerAddress& aFilter, const Data& aData);
  // The link client once made, from any thread.
  TzorWSLoadBalancerClient* MadeClient() const { return FMadeClient.load(std::memory_order_acquire); }
  void ReportError(const std::string& aError);

  TzorWSHTTPServer& FServer;
  TzorWSLoadBalancerServerLink FServerLink{*this, *this};
  std::once_flag FClientMade;
  std::unique_ptr<TzorWSLoadBalancerClient> FClient;
  std::atomic<TzorWSLoadBalancerClient*> FMadeClient{nullptr};
  // Announcements go out one at a time, and only between the link's connect
  // (which announces every connection held) and its disconnect.
  std::recursive_mutex FAnnounceLock;
  bool FAnnouncing = false;
  // The connections announced over this link: a connection that opens while
  // the link comes up is announced once, by whichever step sees it first.
  std::unordered_set<std::string> FAnnounced;
};

}  // namespace zor
