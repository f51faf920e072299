// WebSocket over HTTP/2 (RFC 8441) against Node's http2 server: a server that
// does not enable the extended CONNECT or refuses it reaches the application
// with the handshake's messages, and a TLS server without HTTP/2 gets the
// HTTP/1.1 upgrade. (The whole exchange is in echo_servers_test.cpp.)
#include <gtest/gtest.h>

#include "ws_client_peers.h"

namespace zor {
namespace {

using test::ClientEvents;

TEST(RFC8441Interop, RefusalsReachTheApplication) {
  const std::pair<std::string, std::string> refusals[] = {
      {"--no-connect", "Error reading Frame Settings: connect is not enabled."},
      {"--refuse", "Error reading Frame Headers: status <> 200"}};
  for (const auto& [mode, message] : refusals) {
    auto peer = test::NodeHttp2Server(mode);
    TzorWSClient client;
    ClientEvents events(client);
    test::PointAt(client, *peer, true);
    client.Specifications().SetRFC8441(true);
    EXPECT_FALSE(client.Connect(20000));
    ASSERT_TRUE(events.WaitForDisconnect()) << mode;
    EXPECT_EQ(events.Read(events.exceptions), std::vector<std::string>{message}) << peer->Output();
    EXPECT_EQ(events.Read(events.connects), 0);
  }
}

TEST(RFC8441Interop, ServerWithoutHTTP2GetsTheHTTP11Upgrade) {
  auto peer = test::NodeWsServer(true, false);
  TzorWSClient client;
  ClientEvents events(client);
  test::PointAt(client, *peer, true);
  client.Specifications().SetRFC8441(true);
  ASSERT_TRUE(client.Connect(20000)) << peer->Output();
  client.WriteData("over HTTP/1.1");
  ASSERT_TRUE(events.WaitForMessages(1));
  EXPECT_EQ(events.Read(events.messages), std::vector<std::string>{"over HTTP/1.1"});
  EXPECT_TRUE(client.Disconnect(20000));
}

}  // namespace
}  // namespace zor
