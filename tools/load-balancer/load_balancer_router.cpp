#include "tools/load-balancer/load_balancer_router.h"

#include <algorithm>
#include <set>

#include "websocket/lb_filter.h"

namespace zor {

void TzorLoadBalancerRouter::LinkOpened(TzorLinkId aLink) { FServers.try_emplace(aLink); }

void TzorLoadBalancerRouter::LinkClosed(TzorLinkId aLink) {
  std::erase_if(FConnections, [aLink](const auto& held) { return held.second.FLink == aLink; });
  FServers.erase(aLink);
}

std::vector<TzorLinkAction> TzorLoadBalancerRouter::TextReceived(TzorLinkId aLink, std::string_view aText) {
  std::vector<TzorLinkAction> actions;
  TzorWSLoadBalancerTextMessage message;
  try {
    message = ReadLoadBalancerText(aText);
  } catch (const TzorWSLoadBalancerProtocolError& e) {
    Log(aLink, std::string(e.what()) + "; message dropped");
    return actions;
  }
  FServers.try_emplace(aLink);
  if (auto* framed = std::get_if<TzorWSLoadBalancerMessage>(&message)) {
    return Route(aLink, *framed, TzorLinkAction::laSendText, aText);
  }
  if (auto* identity = std::get_if<TzorWSLoadBalancerServerData>(&message)) {
    Identify(aLink, identity->FGuid, actions);
  } else if (auto* binding = std::get_if<TzorWSLoadBalancerServerBinding>(&message)) {
    auto& bindings = FServers[aLink].FBindings;
    if (std::find(bindings.begin(), bindings.end(), *binding) == bindings.end()) bindings.push_back(*binding);
  } else if (auto* connection = std::get_if<TzorWSLoadBalancerClientConnection>(&message)) {
    Announce(aLink, *connection);
  } else {
    FServers[aLink].FReady = true;
  }
  return actions;
}

std::vector<TzorLinkAction> TzorLoadBalancerRouter::BinaryReceived(TzorLinkId aLink, std::string_view aBytes) {
  TzorStringStream stream{std::string(aBytes)};
  TzorWSLoadBalancerBinary header;
  try {
    header.Read(stream);
  } catch (const TzorWSLoadBalancerProtocolError& e) {
    Log(aLink, std::string(e.what()) + "; message dropped");
    return {};
  }
  FServers.try_emplace(aLink);
  return Route(aLink, header, TzorLinkAction::laSendBinary, aBytes);
}

void TzorLoadBalancerRouter::Identify(TzorLinkId aLink, const std::string& aServerGuid,
                                      std::vector<TzorLinkAction>& aActions) {
  // A server that comes back while its old link is not yet seen closed: the
  // new link takes over, and the old one (and what it announced) goes.
  std::optional<TzorLinkId> previous = LinkOfServer(aServerGuid);
  if (previous && *previous != aLink) {
    LinkClosed(*previous);
    aActions.push_back({TzorLinkAction::laClose, *previous, "superseded by a new link of server " + aServerGuid});
  }
  FServers[aLink].FGuid = aServerGuid;
}

void TzorLoadBalancerRouter::Announce(TzorLinkId aLink, const TzorWSLoadBalancerClientConnection& aConnection) {
  auto held = FConnections.find(aConnection.FGuid);
  if (held != FConnections.end()) {
    // Only its holder closes a connection: a late close from a server the
    // connection has left must not unregister it.
    if (!aConnection.FActive && held->second.FLink != aLink) return;
    --FServers[held->second.FLink].FClientCount;
    FConnections.erase(held);
  }
  if (!aConnection.FActive) return;
  ++FServers[aLink].FClientCount;
  FConnections.emplace(aConnection.FGuid, THeldConnection{aLink, aConnection.FProtocol});
}

std::vector<TzorLinkAction> TzorLoadBalancerRouter::Route(TzorLinkId aLink, const TzorWSLoadBalancerAddress& aAddress,
                                                          TzorLinkAction::TKind aKind, std::string_view aMessage) {
  std::vector<TzorLinkAction> actions;
  if (!aAddress.IsBroadcast()) {
    if (std::optional<TzorLinkId> holder = HolderOf(aAddress.FGuid)) {
      actions.push_back({aKind, *holder, std::string(aMessage)});
    } else {
      Log(aLink, "Load balancer: no server holds connection " + aAddress.FGuid + "; message dropped");
    }
    return actions;
  }
  std::set<TzorLinkId> targets;
  for (const auto& [guid, held] : FConnections) {
    if (MatchesBroadcast(aAddress, guid, held.FProtocol)) targets.insert(held.FLink);
  }
  for (TzorLinkId target : targets) actions.push_back({aKind, target, std::string(aMessage)});
  return actions;
}

std::string TzorLoadBalancerRouter::BindingAnswer() {
  TServer* best = nullptr;
  for (auto& [link, server] : FServers) {
    if (!server.FReady || server.FBindings.empty()) continue;
    if (!best || server.FClientCount < best->FClientCount ||
        (server.FClientCount == best->FClientCount && server.FPicks < best->FPicks))
      best = &server;
  }
  if (!best) return "";
  const auto& binding = best->FBindings[best->FPicks % best->FBindings.size()];
  ++best->FPicks;
  return binding.WriteAnswer();
}

std::optional<TzorLinkId> TzorLoadBalancerRouter::HolderOf(std::string_view aGuid) const {
  auto held = FConnections.find(std::string(aGuid));
  if (held == FConnections.end()) return std::nullopt;
  return held->second.FLink;
}

std::optional<TzorLinkId> TzorLoadBalancerRouter::LinkOfServer(std::string_view aServerGuid) const {
  if (aServerGuid.empty()) return std::nullopt;
  for (const auto& [link, server] : FServers) {
    if (server.FGuid == aServerGuid) return link;
  }
  return std::nullopt;
}

void TzorLoadBalancerRouter::Log(TzorLinkId aLink, const std::string& aText) {
  if (OnLog) OnLog(aLink, aText);
}

}  // namespace zor
