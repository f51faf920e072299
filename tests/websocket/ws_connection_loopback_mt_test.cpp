// The close handshake over real loopback sockets, our client (blocking
// transport, one IO thread) against our server (event-driven transport): the
// side that closes reads the other's answer before the connection ends, and
// a peer that never answers is given up on after the close time-out.
#include "tests/websocket/loopback_endpoints.h"

#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

namespace zor::test {
namespace {

template <class Done>
bool WaitUntil(Done done) {
  for (int i = 0; i < 3000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return done();
}

struct Ends {
  explicit Ends(LoopbackServer::Setup setup = [](LoopbackServerConnection&) {}) : server(std::move(setup)) {
    client = std::make_shared<LoopbackClient>();
    client->Connect(server.Port());
    EXPECT_TRUE(WaitUntil([&] { return client->Enabled() && server.Connections().size() == 1; }));
  }
  ~Ends() { client->Stop(); }
  std::shared_ptr<LoopbackServerConnection> ServerSide() { return server.Connections().at(0); }

  LoopbackServer server;
  std::shared_ptr<LoopbackClient> client;
};

TEST(WSConnectionCloseHandshake, OurClientsCloseIsAnsweredAndTheAnswerRead) {
  Ends e;
  e.client->Close(4001);
  ASSERT_TRUE(WaitUntil([&] { return e.client->Ended(); }));
  EXPECT_EQ(e.ServerSide()->CloseCode(), 4001);
  EXPECT_EQ(e.client->CloseCode(), 1000);  // the server's answer, read by the client
  EXPECT_FALSE(e.client->AwaitingCloseAnswer());
  EXPECT_EQ(e.client->Errors(), std::vector<std::string>());
  EXPECT_EQ(e.server.Errors(), std::vector<std::string>());
}

TEST(WSConnectionCloseHandshake, OurServersCloseIsAnsweredAndTheAnswerRead) {
  std::atomic<int> messages{0};
  Ends e([&](LoopbackServerConnection& c) {
    c.OnMessage = [&](TzorWSConnection* self, const std::string&) {
      ++messages;
      self->Close(4002);
    };
  });
  e.client->WriteData("close-me");
  auto server = e.ServerSide();
  ASSERT_TRUE(WaitUntil([&] { return !server->Active(); }));
  EXPECT_EQ(server->CloseCode(), 1000);  // the client's answer, read by the server
  EXPECT_EQ(e.client->CloseCode(), 4002);
  EXPECT_FALSE(server->AwaitingCloseAnswer());
  ASSERT_TRUE(WaitUntil([&] { return e.client->Ended(); }));
  EXPECT_EQ(messages, 1);
}

// A peer that completes the opening handshake and then only listens.
class SilentPeer {
 public:
  explicit SilentPeer(uint16_t port) : socket_(io_) {
    namespace asio = boost::asio;
    socket_.connect({asio::ip::make_address("127.0.0.1"), port});
    asio::write(socket_, asio::buffer(std::string(
                             "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")));
    asio::read_until(socket_, answer_, "\r\n\r\n");
  }

 private:
  boost::asio::io_context io_;
  boost::asio::ip::tcp::socket socket_;
  boost::asio::streambuf answer_;
};

TEST(WSConnectionCloseHandshake, AnUnansweredCloseEndsAfterTheTimeOut) {
  LoopbackServer server([](LoopbackServerConnection& c) { c.SetCloseTimeOut(100); });
  SilentPeer peer(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return server.Connections().size() == 1 && server.Connections()[0]->Enabled(); }));
  auto c = server.Connections()[0];
  c->Close();
  ASSERT_TRUE(WaitUntil([&] { return !c->Active(); }));
  EXPECT_FALSE(c->AwaitingCloseAnswer());
  EXPECT_EQ(c->CloseCode(), 0);  // nothing came back
}

}  // namespace
}  // namespace zor::test
