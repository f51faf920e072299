#include "websocket/lb_filter.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

TEST(LoadBalancerFilter, GuidListsAreCommaSeparatedWithSpaceIgnored) {
  EXPECT_TRUE(InGuidList("A,B", "B"));
  EXPECT_TRUE(InGuidList(" A ,\r\nB\r\n", "B"));
  EXPECT_FALSE(InGuidList("AB", "B"));
  EXPECT_FALSE(InGuidList("A,BC", "B"));
  EXPECT_FALSE(InGuidList("", "A"));
  // An empty entry names no connection, not the one without a guid.
  EXPECT_FALSE(InGuidList("A,,B", ""));
}

TEST(LoadBalancerFilter, ProtocolIncludeAndExcludeAllMustAgree) {
  TzorWSLoadBalancerAddress broadcast;
  EXPECT_TRUE(MatchesBroadcast(broadcast, "A", "chat"));
  broadcast.FChannel = "news";  // checked against subscriptions by the holder
  EXPECT_TRUE(MatchesBroadcast(broadcast, "A", "chat"));
  broadcast.FProtocol = "chat";
  EXPECT_TRUE(MatchesBroadcast(broadcast, "A", "chat"));
  EXPECT_FALSE(MatchesBroadcast(broadcast, "A", ""));
  broadcast.FInclude = "A,B";
  EXPECT_FALSE(MatchesBroadcast(broadcast, "C", "chat"));
  broadcast.FExclude = "A";
  EXPECT_FALSE(MatchesBroadcast(broadcast, "A", "chat"));
  EXPECT_TRUE(MatchesBroadcast(broadcast, "B", "chat"));
}

}  // namespace
}  // namespace zor
