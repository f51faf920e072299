// The client through independent proxies with credentials: HTTP CONNECT
// through tinyproxy and SOCKS 5 through microsocks, to ws:// and wss://.
#include <gtest/gtest.h>

#include <fstream>

#include "ws_client_peers.h"

namespace zor {
namespace {

using test::ClientEvents;

void EchoThrough(TwsProxy kind, uint16_t proxy_port, const std::string& password, bool tls) {
  auto peer = test::PythonServer(tls);
  TzorWSClient client;
  ClientEvents events(client);
  test::PointAt(client, *peer, tls);
  client.Proxy().SetEnabled(true);
  client.Proxy().SetProxyType(kind);
  client.Proxy().SetHost("127.0.0.1");
  client.Proxy().SetPort(proxy_port);
  client.Proxy().SetUsername("alice");
  client.Proxy().SetPassword(password);
  if (password != "s3cret") {
    EXPECT_FALSE(client.Connect(20000));
    ASSERT_TRUE(events.WaitFor([&] { return !events.exceptions.empty(); }));
    EXPECT_EQ(peer->Output().find("open"), std::string::npos);
    return;
  }
  ASSERT_TRUE(client.Connect(20000)) << peer->Output();
  client.WriteData("through the proxy");
  ASSERT_TRUE(events.WaitForMessages(1));
  EXPECT_EQ(events.Read(events.messages)[0], "through the proxy");
  client.SetActive(false);
}

TEST(WSClientProxies, HttpConnectWithCredentials) {
  test::TestPKI scratch;
  const uint16_t port = test::FreeLoopbackPort();
  const std::string conf = scratch.Dir() + "/tinyproxy.conf";
  std::ofstream(conf) << "Port " << port << "\nListen 127.0.0.1\nTimeout 60\nAllow 127.0.0.1\nBasicAuth alice s3cret\n"
                     ;
  test::PeerProcess tinyproxy({"tinyproxy", "-d", "-c", conf}, scratch.Dir() + "/tinyproxy.log");
  ASSERT_TRUE(test::WaitForPort(port)) << tinyproxy.Output();
  EchoThrough(pxyHTTP, port, "s3cret", false);
  EchoThrough(pxyHTTP, port, "s3cret", true);
  EchoThrough(pxyHTTP, port, "guess", false);
}

TEST(WSClientProxies, Socks5WithCredentials) {
  const uint16_t port = test::FreeLoopbackPort();
  test::PeerProcess microsocks({"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port), "-u", "alice", "-P",
                                "s3cret"},
                               "/dev/null");
  ASSERT_TRUE(test::WaitForPort(port));
  EchoThrough(pxySocks5, port, "s3cret", false);
  EchoThrough(pxySocks5, port, "s3cret", true);
  EchoThrough(pxySocks5, port, "guess", true);
}

}  // namespace
}  // namespace zor
