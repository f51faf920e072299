#pragma once
// The routing core of the load balancer, without IO: it is told which links
// (one per server) open and close and what they send, and answers with the
// messages to send on which link. It keeps each server's identity, bindings
// and readiness and which server holds which client connection (from the
// servers' announcements), forwards messages addressed to a connection to the
// server holding it, sends broadcasts to every server holding a connection the
// broadcast may reach, and picks the server a new client should use.
//
// Not thread-safe: the IO layer calls it from one thread or under one lock.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "websocket/lb_messages.h"

namespace zor {

using TzorLinkId = uint64_t;

// One thing for the IO layer to do on a link.
struct TzorLinkAction {
  enum TKind : uint8_t { laSendText, laSendBinary, laClose };
  TKind FKind;
  TzorLinkId FLink;
  std::string FData;  // the message, or why the link is closed
  bool operator==(const TzorLinkAction&) const = default;
};

class TzorLoadBalancerRouter {
 public:
  void LinkOpened(TzorLinkId aLink);
  // Forgets the server and every connection it held.
  void LinkClosed(TzorLinkId aLink);

  // A message from a server. Messages that cannot be read or delivered are
  // reported through OnLog and dropped; the link stays.
  std::vector<TzorLinkAction> TextReceived(TzorLinkId aLink, std::string_view aText);
  std::vector<TzorLinkAction> BinaryReceived(TzorLinkId aLink, std::string_view aBytes);

  // The answer to a client's binding request: a binding of the ready server
  // holding the fewest client connections (ties go to the one picked least);
  // empty text when no ready server has a binding, so the client falls back
  // to its own list.
  std::string BindingAnswer();

  std::optional<TzorLinkId> HolderOf(std::string_view aGuid) const;
  // The link of the server with that identity.
  std::optional<TzorLinkId> LinkOfServer(std::string_view aServerGuid) const;

  std::function<void(TzorLinkId aLink, const std::string& aText)> OnLog;

 private:
  struct TServer {
    std::string FGuid;
    std::vector<TzorWSLoadBalancerServerBinding> FBindings;
    bool FReady = false;
    size_t FClientCount = 0;
    uint64_t FPicks = 0;
  };

  void Identify(TzorLinkId aLink, const std::string& aServerGuid, std::vector<TzorLinkAction>& aActions);
  void Announce(TzorLinkId aLink, const TzorWSLoadBalancerClientConnection& aConnection);
  // A message for one connection goes to its holder; a broadcast to every
  // server holding a connection it may reach.
  std::vector<TzorLinkAction> Route(TzorLinkId aLink, const TzorWSLoadBalancerAddress& aAddress,
                                    TzorLinkAction::TKind aKind, std::string_view aMessage);
  void Log(TzorLinkId aLink, const std::string& aText);

  // A client connection as announced by the server holding it.
  struct THeldConnection {
    TzorLinkId FLink;
    std::string FProtocol;
  };

  std::map<TzorLinkId, TServer> FServers;
  std::unordered_map<std::string, THeldConnection> FConnections;  // by guid
};

}  // namespace zor
