// The client's connection leaf over an in-memory transport: the request it
// writes, the answer read in pieces with a frame right behind it, redirects,
// the bound on the answer's header block, and the transport kinds.
#include <gtest/gtest.h>

#include "tests/websocket/memory_transport.h"
#include "websocket/ws_connection_client.h"

namespace zor {
namespace {

std::string Drain(test::MemoryTransport& t) {
  std::string bytes;
  t.ReadFromBuffer(bytes, t.InputBufferSize());
  return bytes;
}

std::string Accepting(const std::string& key, const std::string& more = "") {
  return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " +
         GetAcceptKey(key) + "\r\n" + more + "\r\n";
}

class WSConnectionClient : public ::testing::Test {
 protected:
  WSConnectionClient() {
    auto [a, b] = test::MemoryTransport::Pair();
    mine = a;
    server = b;
    connection->Host = "example.com";
    connection->Port = 8080;
    connection->SetTransport(trpRFC6455);
    connection->SetMasked(true);
    connection->OnEnabled = [this](TzorWSConnectionClient*) { ++enabled; };
    connection->OnMessage = [this](TzorWSConnection*, const std::string& text) { messages.push_back(text); };
  }

  std::shared_ptr<test::MemoryTransport> mine, server;
  std::shared_ptr<TzorWSConnectionClient> connection = std::make_shared<TzorWSConnectionClient>();
  int enabled = 0;
  std::vector<std::string> messages;
};

TEST_F(WSConnectionClient, RequestCarriesTheKeyAndTheApplicationsEdits) {
  connection->OnHandshake = [](TzorWSConnection*, std::vector<std::string>& headers) {
    headers.push_back("X-Extra: 1");
  };
  connection->DoInitialize(mine);
  const std::string request = Drain(*server);
  EXPECT_TRUE(request.starts_with("GET / HTTP/1.1\r\nHost: example.com:8080\r\n")) << request;
  EXPECT_NE(request.find("\r\nSec-WebSocket-Key: " + connection->Key() + "\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\nOrigin: example.com\r\n"), std::string::npos);
  EXPECT_TRUE(request.ends_with("Sec-WebSocket-Version: 13\r\nX-Extra: 1\r\n\r\n")) << request;
}

TEST_F(WSConnectionClient, AnswerInPiecesThenTheFirstFrame) {
  connection->DoInitialize(mine);
  Drain(*server);
  const std::string answer = Accepting(connection->Key()) + std::string("\x81\x02hi", 4);
  for (size_t at = 0; at < answer.size(); at += 7) {
    server->Write(answer.substr(at, 7));
    connection->ReadFrames(false);
  }
  connection->ReadFrames(false);  // the frame behind the answer, when the pass ended with the handshake
  EXPECT_TRUE(connection->Enabled());
  EXPECT_EQ(enabled, 1);
  EXPECT_EQ(messages, std::vector<std::string>{"hi"});
}

TEST_F(WSConnectionClient, RedirectGoesToItsHandlerAndLeavesTheConnectionDisabled) {
  std::string location;
  connection->OnRedirect = [&](TzorWSConnectionClient*, const std::string& l) { location = l; };
  connection->DoInitialize(mine);
  server->Write("HTTP/1.1 302 Found\r\nLocation: ws://elsewhere/x\r\n\r\n");
  connection->ReadFrames(false);
  EXPECT_EQ(location, "ws://elsewhere/x");
  EXPECT_FALSE(connection->Enabled());
  EXPECT_EQ(enabled, 0);
}

TEST_F(WSConnectionClient, ExtensionsTheClientDidNotOfferFailTheHandshake) {
  connection->Extensions().PerMessage_Deflate().SetEnabled(true);
  connection->DoInitialize(mine);
  server->Write(Accepting(connection->Key(), "Sec-WebSocket-Extensions: permessage-deflate, x-other; a=1\r\n"));
  try {
    connection->ReadFrames(false);
    ADD_FAILURE() << "an extension nobody offered was accepted";
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Extension not supported x-other.");
  }
  EXPECT_FALSE(connection->Enabled());

  // The one offered is taken.
  auto [a, b] = test::MemoryTransport::Pair();
  auto offered = std::make_shared<TzorWSConnectionClient>();
  offered->SetTransport(trpRFC6455);
  offered->Extensions().PerMessage_Deflate().SetEnabled(true);
  offered->DoInitialize(a);
  b->Write(Accepting(offered->Key(), "Sec-WebSocket-Extensions: permessage-deflate\r\n"));
  offered->ReadFrames(false);
  EXPECT_TRUE(offered->Enabled());
  EXPECT_TRUE(offered->Extensions().PerMessage_Deflate().Active());
}

TEST_F(WSConnectionClient, BasicCredentialsOnlyWhereAllowed) {
  connection->Authentication.SetEnabled(true);
  connection->Authentication.Basic().SetEnabled(true);
  connection->Authentication.SetUser("alice");
  connection->Authentication.SetPassword("s3cret");
  connection->SendBasicCredentials = false;
  connection->DoInitialize(mine);
  EXPECT_EQ(Drain(*server).find("Authorization"), std::string::npos);

  auto [a, b] = test::MemoryTransport::Pair();
  auto allowed = std::make_shared<TzorWSConnectionClient>();
  allowed->Authentication.Assign(connection->Authentication);
  allowed->SetTransport(trpRFC6455);
  allowed->DoInitialize(a);
  EXPECT_NE(Drain(*b).find("\r\nAuthorization: Basic YWxpY2U6czNjcmV0\r\n"), std::string::npos);
}

TEST_F(WSConnectionClient, HeaderBlockIsBounded) {
  connection->DoInitialize(mine);
  server->Write("HTTP/1.1 101 Switching Protocols\r\n");
  std::string filler;
  while (filler.size() <= kMaxHandshakeHeaderSize) filler += "X-Filler: " + std::string(100, 'x') + "\r\n";
  server->Write(filler);
  try {
    connection->ReadFrames(false);
    ADD_FAILURE() << "an endless header was accepted";
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Handshake response header larger than 65536 bytes");
  }
  EXPECT_FALSE(connection->Enabled());
}

TEST_F(WSConnectionClient, TransportKinds) {
  connection->SetTransport(trpTCP);
  connection->DoInitialize(mine);
  EXPECT_TRUE(connection->Enabled());
  EXPECT_EQ(server->InputBufferSize(), 0u);

  // Without "h2" agreed, RFC 8441 falls back to the HTTP/1.1 request.
  auto [a, b] = test::MemoryTransport::Pair();
  auto h2 = std::make_shared<TzorWSConnectionClient>();
  h2->SetTransport(trpRFC8441);
  h2->DoInitialize(a);
  EXPECT_EQ(h2->Transport(), trpRFC6455);
  EXPECT_TRUE(Drain(*b).starts_with("GET / HTTP/1.1\r\n"));
}

}  // namespace
}  // namespace zor
