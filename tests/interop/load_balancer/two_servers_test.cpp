// Our load balancer between two servers' links played by Python websockets
// (python3-websockets): messages by guid and broadcasts between the servers,
// the binding request, and a server that goes away and comes back.
#include <gtest/gtest.h>

#include "tests/interop/peer_process.h"

namespace zor {
namespace {

TEST(LoadBalancerInterop, TwoServersShareTheirClientsThroughTheBalancer) {
  const std::string port = std::to_string(test::FreeLoopbackPort());
  test::PeerProcess balancer({"env", ZOR_LOAD_BALANCER, port}, testing::TempDir() + "load_balancer.log");
  ASSERT_TRUE(balancer.WaitForOutput("listening on 127.0.0.1:" + port)) << balancer.Output();

  test::PeerProcess servers({"env", "/usr/bin/python3", std::string(ZOR_SOURCE_DIR) +
                             "/tests/interop/load_balancer/two_servers_peer.py", port},
                            testing::TempDir() + "load_balancer_servers.log");
  // The peer ends with one line: PASS, or FAIL and why.
  EXPECT_TRUE(servers.WaitForOutput("\n", 60)) << "no verdict from the servers' peer";
  EXPECT_EQ(servers.Output(), "PASS\n") << "balancer:\n" << balancer.Output();
}

}  // namespace
}  // namespace zor
