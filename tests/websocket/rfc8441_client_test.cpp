// The client's connection over HTTP/2 against our server session, in memory:
// the RFC 8441 handshake, messages, pings and closes carried in DATA, the
// server's refusals with their messages, the fallback without "h2", and the
// bound on bytes held back by the server's window.
#include <gtest/gtest.h>

#include "http2/session.h"
#include "net/net_errors.h"
#include "tests/websocket/memory_transport.h"
#include "tests/websocket/ws_test_support.h"
#include "websocket/ws_connection_client.h"

namespace zor {
namespace {

struct Answer {
  int status = 200;
  std::vector<std::string> lines = {"sec-websocket-protocol: chat"};
};

// A client connection and our server session joined in memory.
struct H2Pair {
  explicit H2Pair(const std::string& alpn = "h2") {
    auto [a, b] = test::MemoryTransport::Pair();
    mine = a;
    theirs = b;
    mine->ALPN = alpn;
    connection->Host = "h2.example";
    connection->Port = 443;
    connection->Options.SetParameters("/chat");
    connection->SetProtocol("chat,superchat");
    connection->SetTransport(trpRFC8441);
    connection->SetMasked(true);
    connection->SetReadTimeOut(0);
    connection->OnEnabled = [this](TzorWSConnectionClient*) { ++enabled; };
    connection->OnMessage = [this](TzorWSConnection*, const std::string& text) { messages.push_back(text); };
    connection->OnHandshake = [this](TzorWSConnection*, std::vector<std::string>& lines) {
      offered = lines;
      lines.push_back("x-extra = 1");
    };
    server.Settings().EnableConnectProtocol = true;
    server.OnHTTP2WriteBytes = [this](TzorHTTP2Session&, std::span<const uint8_t> bytes) {
      theirs->Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    };
    server.OnHTTP2Request = [this](TzorHTTP2Session& s, const TzorHTTP2_HeaderList& headers, std::span<const uint8_t>,
                                   int32_t stream, int32_t, TzorStringStream*) {
      request = headers.Text();
      s.SendHTTP2TunnelResponse(stream, answer.status, answer.lines);
    };
    server.OnHTTP2TunnelData = [this](TzorHTTP2Session&, int32_t, std::span<const uint8_t> bytes, bool end) {
      tunnel.append(bytes.begin(), bytes.end());
      tunnel_ended |= end;
    };
  }

  void Start() {
    server.StartHTTP2();
    connection->DoInitialize(mine);
  }
  // Moves bytes both ways until both sides are quiet; the connection's
  // failure, if any, is returned.
  std::string Pump() {
    try {
      for (int i = 0; i < 100 && (theirs->InputBufferSize() > 0 || mine->InputBufferSize() > 0); ++i) {
        std::string bytes;
        theirs->ReadFromBuffer(bytes, theirs->InputBufferSize());
        if (!bytes.empty()) server.ReadHTTP2Data(bytes);
        if (mine->InputBufferSize() > 0) connection->ReadFrames(false);
      }
    } catch (const std::exception& e) {
      return e.what();
    }
    return {};
  }
  void ServerSends(std::string_view frame) {
    server.SendHTTP2TunnelData(1, {reinterpret_cast<const uint8_t*>(frame.data()), frame.size()}, false);
  }
  // The client's frames that reached the server, unmasked, one at a time.
  std::string TakeFramePayload() {
    const size_t length = static_cast<uint8_t>(tunnel[1]) & 0x7F;
    const std::string frame = tunnel.substr(0, 6 + length);
    tunnel.erase(0, frame.size());
    return test::UnmaskedPayload(frame);
  }

  std::shared_ptr<test::MemoryTransport> mine, theirs;
  std::shared_ptr<TzorWSConnectionClient> connection = std::make_shared<TzorWSConnectionClient>();
  TzorHTTP2Session server;
  Answer answer;
  std::string request, tunnel;
  bool tunnel_ended = false;
  std::vector<std::string> offered, messages;
  int enabled = 0;
};

TEST(RFC8441Client, HandshakeThenMessagesAndPingsInTheStream) {
  H2Pair p;
  p.answer.lines = {"sec-websocket-protocol: superchat"};
  p.Start();
  EXPECT_EQ(p.Pump(), "");
  EXPECT_EQ(p.offered, (std::vector<std::string>{":method = CONNECT", ":protocol = websocket", ":scheme = https",
                                               ":path = /chat", ":authority = h2.example", "origin = h2.example",
                                               "sec-websocket-protocol = chat,superchat",
                                               "sec-websocket-version = 13"}));
  EXPECT_EQ(p.request,
            ":method=CONNECT\n:protocol=websocket\n:scheme=https\n:path=/chat\n:authority=h2.example\n"
            "origin=h2.example\nsec-websocket-protocol=chat,superchat\nsec-websocket-version=13\nx-extra=1\n");
  ASSERT_TRUE(p.connection->Enabled());
  EXPECT_EQ(p.enabled, 1);
  EXPECT_EQ(p.connection->Protocol(), "superchat");

  p.ServerSends("\x81\x02hi");
  p.ServerSends(std::string("\x89\x01p\x81\x03", 5) + "yo!");
  EXPECT_EQ(p.Pump(), "");
  EXPECT_EQ(p.messages, (std::vector<std::string>{"hi", "yo!"}));
  EXPECT_EQ(p.TakeFramePayload(), "p");  // the pong

  p.connection->WriteData("hello");
  p.connection->Ping("x");
  EXPECT_EQ(p.Pump(), "");
  EXPECT_EQ(p.TakeFramePayload(), "hello");
  EXPECT_EQ(p.TakeFramePayload(), "x");
  EXPECT_TRUE(p.tunnel.empty());
}

TEST(RFC8441Client, ClosingAnswersTheServersCloseThenEndsTheStream) {
  H2Pair p;
  p.Start();
  ASSERT_EQ(p.Pump(), "");
  p.ServerSends("\x88\x02\x03\xE8");  // close 1000
  EXPECT_EQ(p.Pump(), "");
  EXPECT_TRUE(p.connection->Disconnected());
  EXPECT_TRUE(p.mine->Closed());
  EXPECT_EQ(p.connection->CloseCode(), 1000);
  EXPECT_EQ(p.TakeFramePayload(), "\x03\xE8");
  EXPECT_TRUE(p.tunnel_ended);
  EXPECT_TRUE(p.server.GoAwayReceived());
}

TEST(RFC8441Client, TheEndsOfTheStreamReachTheApplication) {
  H2Pair p;
  p.Start();
  p.Pump();
  // END_STREAM without a close frame: the server hung up.
  p.server.SendHTTP2TunnelData(1, {}, true);
  try {
    p.connection->ReadFrames(false);
    ADD_FAILURE() << "the end of the stream went unnoticed";
  } catch (const EzorConnClosedGracefully&) {
  }

  H2Pair reset;
  reset.Start();
  reset.Pump();
  reset.server.ResetHTTP2Stream(1, h2erCANCEL);
  EXPECT_EQ(reset.Pump(), "HTTP/2 stream reset by the server: CANCEL");
  EXPECT_TRUE(reset.connection->Disconnected());
  EXPECT_TRUE(reset.mine->Closed());
}

TEST(RFC8441Client, RefusalsFailTheHandshakeWithTheirMessages) {
  struct Refusal {
    bool connect = true;
    Answer answer;
    bool deflate = false;
    std::string failure;
  };
  const std::vector<Refusal> refusals = {
      {false, {}, false, "Error reading Frame Settings: connect is not enabled."},
      {true, {403}, false, "Error reading Frame Headers: status <> 200"},
      {true, {200, {"sec-websocket-protocol: other"}}, false, "Protocol not supported other."},
      {true, {200, {}}, false, "Protocol not supported ."},
      {true, {200, {"sec-websocket-protocol: chat", "sec-websocket-extensions: x-foo"}}, true,
       "Extension not supported x-foo."},
  };
  for (const Refusal& r : refusals) {
    H2Pair c;
    c.server.Settings().EnableConnectProtocol = r.connect;
    c.answer = r.answer;
    c.connection->Extensions().PerMessage_Deflate().SetEnabled(r.deflate);
    c.Start();
    EXPECT_EQ(c.Pump(), r.failure);
    EXPECT_FALSE(c.connection->Enabled()) << r.failure;
  }

  // The extension offered is taken, over HTTP/2 as over HTTP/1.1.
  H2Pair deflate;
  deflate.connection->Extensions().PerMessage_Deflate().SetEnabled(true);
  deflate.answer = {200, {"sec-websocket-protocol: chat", "sec-websocket-extensions: permessage-deflate"}};
  deflate.Start();
  EXPECT_EQ(deflate.Pump(), "");
  EXPECT_TRUE(deflate.connection->Extensions().PerMessage_Deflate().Active());
}

TEST(RFC8441Client, WithoutH2TheUpgradeIsHTTP11) {
  H2Pair plain("http/1.1");
  plain.connection->DoInitialize(plain.mine);
  std::string bytes;
  plain.theirs->ReadFromBuffer(bytes, plain.theirs->InputBufferSize());
  EXPECT_TRUE(bytes.starts_with("GET /chat HTTP/1.1\r\n")) << bytes;
  EXPECT_EQ(plain.connection->Transport(), trpRFC6455);
}

TEST(RFC8441Client, BytesHeldByTheServersWindowCountAgainstTheQueueBound) {
  H2Pair p;
  p.server.Settings().InitialWindowSize = 10;
  p.Start();
  p.Pump();
  p.connection->SetMaxQueuedBytes(100);
  p.connection->WriteData(std::string(60, 'a'));  // an empty queue takes any message
  try {
    p.connection->WriteData(std::string(60, 'b'));
    ADD_FAILURE() << "the held bytes were not counted";
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Error writing message Outgoing queue full: 56 bytes wait to be sent.");
  }
}

}  // namespace
}  // namespace zor
