// The client against the WebSocket servers people run: Python `websockets`
// (plain and TLS, with permessage-deflate and its variants), Node's "ws",
// Node's "websocket", and WebSocket over HTTP/2 on Node's http2 server. Text, binary, empty, fragmented both ways, 1 MiB and
// 16 MiB messages, pings both ways, and each side closing.
#include <gtest/gtest.h>

#include <thread>

#include "ws_client_peers.h"

namespace zor {
namespace {

using test::ClientEvents;
using test::WSPeer;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

struct Abilities {
  bool server_fragments = true;  // the server can send a message in fragments
};

void ExchangeEverything(TzorWSClient& client, ClientEvents& events, WSPeer& peer, Abilities abilities = {}) {
  client.Options().SetCleanDisconnect(true);
  ASSERT_TRUE(client.Connect(20000)) << ::testing::PrintToString(events.Read(events.exceptions)) << " " << peer.Output();
  ASSERT_TRUE(events.WaitFor([&] { return events.connects == 1; }));

  client.WriteData("hello");
  client.WriteData(std::string());
  ASSERT_TRUE(events.WaitForMessages(2));
  EXPECT_EQ(events.Read(events.messages), (std::vector<std::string>{"hello", ""}));

  client.WriteData(TzorStringStream(std::string("\x00\x01\xFF", 3)));
  client.WriteData(TzorStringStream());
  ASSERT_TRUE(events.WaitFor([&] { return events.binaries.size() == 2; }));
  EXPECT_EQ(events.Read(events.binaries), (std::vector<std::string>{std::string("\x00\x01\xFF", 3), ""}));

  // Sent in frames of 1000 bytes, echoed whole.
  const std::string long_text(10000, 'x');
  client.WriteData(long_text, 1000);
  ASSERT_TRUE(events.WaitForMessages(3));
  EXPECT_EQ(events.Read(events.messages)[2], long_text);

  if (abilities.server_fragments) {
    client.WriteData("fragments:ab,c,d");
    ASSERT_TRUE(events.WaitForMessages(4));
    EXPECT_EQ(events.Read(events.messages)[3], "abcd");
  }

  const std::string mebibyte = Pattern(1 << 20);
  client.WriteData(TzorStringStream(mebibyte));
  ASSERT_TRUE(events.WaitFor([&] { return events.binaries.size() == 3; }));
  EXPECT_TRUE(events.Read(events.binaries)[2] == mebibyte);

  client.WriteData("binary:16777216");
  ASSERT_TRUE(events.WaitFor([&] { return events.binaries.size() == 4; }));
  EXPECT_TRUE(events.Read(events.binaries)[3] == Pattern(16 << 20));
  client.WriteData(TzorStringStream(Pattern(16 << 20)));
  ASSERT_TRUE(events.WaitFor([&] { return events.binaries.size() == 5; }));
  EXPECT_EQ(events.Read(events.binaries)[4].size(), size_t{16} << 20);

  EXPECT_TRUE(client.Ping(20000, "from client"));
  client.WriteData("ping:from server");
  EXPECT_TRUE(peer.WaitForOutput("pong from server"));

  // The client closes: the server sees a close frame with 1000.
  EXPECT_TRUE(client.Disconnect(20000));
  EXPECT_TRUE(peer.WaitForOutput("closed 1000"));
  ASSERT_TRUE(events.WaitForDisconnect());
  EXPECT_TRUE(events.Read(events.exceptions).empty()) << events.Read(events.exceptions)[0];
  EXPECT_TRUE(events.Read(events.errors).empty());

  // The server closes: the client reports its code.
  ASSERT_TRUE(client.Connect(20000));
  client.WriteData("close:4001");
  ASSERT_TRUE(events.WaitFor([&] { return events.disconnect_codes.size() == 2; }));
  EXPECT_EQ(events.Read(events.disconnect_codes)[1], 4001);
  EXPECT_FALSE(client.Active());
}

class PythonServer : public ::testing::TestWithParam<std::tuple<std::string, bool, TwsTLSIOHandler>> {};

TEST_P(PythonServer, ExchangesEverything) {
  const auto& [deflate, tls, provider] = GetParam();
  auto peer = test::PythonServer(tls, deflate);
  TzorWSClient client;
  ClientEvents events(client);
  test::PointAt(client, *peer, tls, provider);
  if (deflate != "off") client.Extensions().PerMessage_Deflate().SetEnabled(true);
  ExchangeEverything(client, events, *peer);
  if (deflate != "off") {
    EXPECT_NE(peer->Output().find("extensions=permessage-deflate"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, PythonServer,
    ::testing::Values(std::make_tuple("off", false, iohOpenSSL), std::make_tuple("on", false, iohOpenSSL),
                      std::make_tuple("no-context-takeover", false, iohOpenSSL),
                      std::make_tuple("max-window-bits", false, iohOpenSSL), std::make_tuple("off", true, iohOpenSSL),
                      std::make_tuple("on", true, iohSChannel), std::make_tuple("off", true, iohSChannel)),
    [](const auto& info) {
      std::string name = std::get<0>(info.param) + (std::get<1>(info.param) ? "_tls" : "_plain") +
                         (std::get<2>(info.param) == iohOpenSSL ? "_openssl" : "_platform");
      for (char& c : name)
        if (c == '-') c = '_';
      return name;
    });

TEST(NodeWsServer, PlainWithDeflate) {
  auto peer = test::NodeWsServer(false, true);
  TzorWSClient client;
  ClientEvents events(client);
  test::PointAt(client, *peer, false);
  client.Extensions().PerMessage_Deflate().SetEnabled(true);
  ExchangeEverything(client, events, *peer);
}

TEST(NodeWsServer, TLSWithBothProviders) {
  for (TwsTLSIOHandler provider : {iohOpenSSL, iohSChannel}) {
    auto peer = test::NodeWsServer(true, false);
    TzorWSClient client;
    ClientEvents events(client);
    test::PointAt(client, *peer, true, provider);
    ExchangeEverything(client, events, *peer);
  }
}

// The application's verdict on the server's chain: refusing a trusted chain
// fails the connection, accepting an untrusted one lets it through.
TEST(NodeWsServer, VerifyPeerEventDecides) {
  auto peer = test::NodeWsServer(true, false);
  for (const bool trusted : {true, false}) {
    TzorWSClient client;
    ClientEvents events(client);
    test::PointAt(client, *peer, true);
    if (!trusted) client.TLSOptions().SetRootCertFile({});  // the system's roots: the test CA is not among them
    int calls = 0, refusals = 0;
    client.OnSSLVerifyPeer = [&](TzorWSClient*, const TzorTLSCertificateInfo& certificate, bool ok, int depth, int,
                                 bool& accept) {
      ++calls;
      refusals += ok ? 0 : 1;
      if (depth == 0) {
        EXPECT_NE(certificate.Subject.find("localhost"), std::string::npos) << certificate.Subject;
      }
      accept = !trusted;
    };
    EXPECT_EQ(client.Connect(20000), !trusted);
    EXPECT_GT(calls, 0);
    // An untrusted chain is refused by the library, and then again accepted by the event.
    EXPECT_EQ(refusals > 0, !trusted);
    if (!trusted) {
      client.WriteData("hello");
      ASSERT_TRUE(events.WaitForMessages(1));
      EXPECT_TRUE(client.Disconnect(20000));
    }
  }
}

// RFC 8441 with either TLS provider: every frame travels in DATA on one
// HTTP/2 stream, 16 MiB messages through both sides' flow-control windows.
TEST(NodeHttp2Server, WebSocketOverHTTP2WithBothProviders) {
  for (TwsTLSIOHandler provider : {iohOpenSSL, iohSChannel}) {
    auto peer = test::NodeHttp2Server();
    TzorWSClient client;
    ClientEvents events(client);
    test::PointAt(client, *peer, true, provider);
    client.Specifications().SetRFC8441(true);
    ExchangeEverything(client, events, *peer);
    EXPECT_TRUE(peer->WaitForOutput("request CONNECT websocket / version=13"));
    EXPECT_EQ(peer->Output().find("error"), std::string::npos) << peer->Output();
    // "h2" was offered for these connections only.
    EXPECT_TRUE(client.TLSOptions().ALPNProtocols().empty());
  }
}

TEST(NodeWebsocketServer, Plain) {
  auto peer = test::NodeWebsocketServer();
  TzorWSClient client;
  ClientEvents events(client);
  test::PointAt(client, *peer, false);
  ExchangeEverything(client, events, *peer, {.server_fragments = false});
}

// With neAsynchronous the events run on the main thread, in order, when it
// pumps its dispatcher; the IO thread never waits for it.
TEST(WSClientEvents, AsynchronousEventsRunOnTheMainThread) {
  auto peer = test::PythonServer(false);
  TzorWSClient client;
  client.SetNotifyEvents(neAsynchronous);
  const auto main_thread = std::this_thread::get_id();
  std::vector<std::string> texts;
  int connects = 0, elsewhere = 0;
  client.OnConnect = [&](TzorWSConnection*) {
    ++connects;
    if (std::this_thread::get_id() != main_thread) ++elsewhere;
  };
  client.OnMessage = [&](TzorWSConnection*, const std::string& text) {
    texts.push_back(text);
    if (std::this_thread::get_id() != main_thread) ++elsewhere;
  };
  client.SetURL(peer->URL("ws"));
  ASSERT_TRUE(client.Connect(20000));
  for (const char* text : {"one", "two", "three"}) client.WriteData(text);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (texts.size() < 3 && std::chrono::steady_clock::now() < until) {
    MainThreadDispatcher()->Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(connects, 1);
  EXPECT_EQ(texts, (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(elsewhere, 0);
  client.SetActive(false);
}

}  // namespace
}  // namespace zor
