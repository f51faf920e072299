#pragma once
// Which connections a broadcast over the load-balancer link reaches. Include
// and exclude are lists of connection guids separated by commas; a protocol
// names the subprotocol a connection must speak; the channel is checked by the
// server that holds the connection, against its live subscriptions.
#include <string_view>

#include "websocket/lb_messages.h"

namespace zor {

// True when aGuid is one of the comma-separated guids of aList (spaces and
// line breaks around each are ignored).
bool InGuidList(std::string_view aList, std::string_view aGuid);

// Include, exclude and protocol of the broadcast against one connection.
bool MatchesBroadcast(const TzorWSLoadBalancerAddress& aBroadcast, std::string_view aGuid, std::string_view aProtocol);

}  // namespace zor
