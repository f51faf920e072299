#include <gtest/gtest.h>

#include <set>

#include "base/exceptions.h"
#include "websocket/load_balancer_choice.h"

namespace zor {
namespace {

TEST(LoadBalancerChoice, BindingAnswer) {
  EXPECT_EQ(LoadBalancerBindingURL(true, "lb", 9000), "https://lb:9000/zor@lb@client@get@binding");
  EXPECT_EQ(LoadBalancerBindingURL(false, "lb", 80), "http://lb:80/zor@lb@client@get@binding");
  TzorWSServerChoice c = ReadBindingAnswer(R"({"host":"10.0.0.2","port":8443,"ssl":true})");
  EXPECT_EQ(c.Host, "10.0.0.2");
  EXPECT_EQ(c.Port, 8443);
  EXPECT_TRUE(c.TLS);
  c = ReadBindingAnswer(R"({"host":"a","port":"81","ssl":false})");
  EXPECT_EQ(c.Port, 81);
  EXPECT_FALSE(c.TLS);
  EXPECT_THROW(ReadBindingAnswer(R"({"host":"a","port":"x"})"), EConvertError);
}

TEST(LoadBalancerChoice, ListedServers) {
  TzorWSServerChoice c;
  EXPECT_FALSE(PickListedServer({}, c));
  // Entries without a port are never accepted.
  EXPECT_FALSE(PickListedServer({"ws:host", "wss:other"}, c));
  ASSERT_TRUE(PickListedServer({"WsS://srv/:9443"}, c));
  EXPECT_EQ(c.Host, "srv");
  EXPECT_EQ(c.Port, 9443);
  EXPECT_TRUE(c.TLS);
  EXPECT_THROW(PickListedServer({"ws:h:port"}, c), EConvertError);

  // Every entry gets picked.
  std::set<std::string> seen;
  for (int i = 0; i < 200 && seen.size() < 3; ++i) {
    ASSERT_TRUE(PickListedServer({"ws:a:1", "ws:b:2", "ws:c:3"}, c));
    seen.insert(c.Host);
  }
  EXPECT_EQ(seen.size(), 3u);
}

}  // namespace
}  // namespace zor
