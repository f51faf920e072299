// What the client does before and around the connection, against real
// peers: the load balancer's binding, session and URL authentication, the
// traffic log with decoded frames, the throttle.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ws_client_peers.h"

namespace zor {
namespace {

using test::ClientEvents;
using test::WSPeer;

std::unique_ptr<WSPeer> HTTPAnswers(const WSPeer& ws) {
  return std::make_unique<WSPeer>("http-answers", [&](uint16_t port, const test::TestPKI&) {
    return std::vector<std::string>{"/usr/bin/python3", test::kPeers + "http_answers.py", std::to_string(port),
                                    "127.0.0.1", std::to_string(ws.Port())};
  });
}

TEST(WSClientBeforeConnecting, LoadBalancerBindingChoosesTheServer) {
  auto ws = test::PythonServer(false);
  auto balancer = HTTPAnswers(*ws);
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL("ws://127.0.0.1:1/");  // nobody there: the balancer decides
  client.LoadBalancer().SetEnabled(true);
  client.LoadBalancer().SetHost("127.0.0.1");
  client.LoadBalancer().SetPort(balancer->Port());
  ASSERT_TRUE(client.Connect(20000)) << balancer->Output();
  EXPECT_EQ(client.Port(), ws->Port());
  EXPECT_TRUE(balancer->WaitForOutput("request /zor@lb@client@get@binding agent=Mozilla/5.0 (zorWebSockets 2023.6.0)"));
  client.SetActive(false);
}

TEST(WSClientBeforeConnecting, UnreachableBalancerFallsBackToTheListedServers) {
  auto ws = test::PythonServer(false);
  TzorWSClient client;
  ClientEvents events(client);
  std::vector<std::string> balancer_errors;
  client.OnLoadBalancerError = [&](TzorWSClient*, const std::string& error) { balancer_errors.push_back(error); };
  client.SetURL("ws://127.0.0.1:1/");
  client.LoadBalancer().SetEnabled(true);
  client.LoadBalancer().SetHost("127.0.0.1");
  client.LoadBalancer().SetPort(test::FreeLoopbackPort());
  client.LoadBalancer().SetServers({"ws:127.0.0.1:" + std::to_string(ws->Port())});
  ASSERT_TRUE(client.Connect(20000));
  EXPECT_EQ(balancer_errors.size(), 1u);
  client.SetActive(false);
}

TEST(WSClientBeforeConnecting, SessionAndURLAuthenticationChooseThePath) {
  auto ws = test::PythonServer(false);
  auto sessions = HTTPAnswers(*ws);
  TzorWSClient client;
  ClientEvents events(client);
  // The session is asked of the server the client connects to.
  client.SetURL("ws://127.0.0.1:" + std::to_string(sessions->Port()) + "/");
  client.Authentication().SetEnabled(true);
  client.Authentication().Session().SetEnabled(true);
  client.Authentication().SetUser("al ice");
  client.Authentication().SetPassword("p/w");
  client.SetActive(true);
  EXPECT_TRUE(sessions->WaitForOutput("request /zor/req/auth/session/al%20ice/p%2Fw"));
  EXPECT_EQ(client.Authentication().Session().ID(), "SESSION-al ice");
  // The ID goes into the path encoded like the user name and password.
  EXPECT_EQ(client.Options().Parameters(), "/zor/auth/session/SESSION-al%20ice");
  client.SetActive(false);

  TzorWSClient url_client;
  ClientEvents url_events(url_client);
  url_client.SetURL(ws->URL("ws"));
  url_client.Authentication().SetEnabled(true);
  url_client.Authentication().SetUser("al ice");
  url_client.Authentication().SetPassword("p/w");
  ASSERT_TRUE(url_client.Connect(20000));
  EXPECT_TRUE(ws->WaitForOutput("open /zor/auth/url/al%20ice/p%2Fw"));
  url_client.SetActive(false);
}

TEST(WSClientBeforeConnecting, TrafficLogWithDecodedFramesAndThrottle) {
  auto ws = test::PythonServer(false);
  test::TestPKI scratch;
  const std::string log = scratch.Dir() + "/traffic.log";
  TzorWSClient client;
  ClientEvents events(client);
  client.SetURL(ws->URL("ws"));
  client.LogFile().SetEnabled(true);
  client.LogFile().SetFileName(log);
  client.LogFile().SetUnMaskFrames(true);
  client.Throttle().SetEnabled(true);
  client.Throttle().SetBitsPerSec(1000000);
  ASSERT_TRUE(client.Connect(20000));
  client.WriteData("logged text");
  ASSERT_TRUE(events.WaitForMessages(1));
  client.SetActive(false);
  std::stringstream text;
  text << std::ifstream(log).rdbuf();
  EXPECT_NE(text.str().find("[text] logged text"), std::string::npos) << text.str();
}

}  // namespace
}  // namespace zor
