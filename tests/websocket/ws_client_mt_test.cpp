// The client's threads together: the IO thread reading echoes while several
// application threads write and ping, and a deactivation racing the writers.
// The peer is an echo server of the test's own on a loopback socket.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "tests/net/loopback_peer.h"
#include "websocket/frame_reader.h"
#include "websocket/frame_writer.h"
#include "websocket/handshake.h"
#include "websocket/ws_client.h"

namespace zor {
namespace {

using test::LoopbackPeer;

// Answers the handshake, then echoes every text and binary message and
// answers pings, until the client closes; with `answerClose` it answers the
// client's close (with kAnswerCode, after `answerDelay`: a slow server), and
// either way it reads on until the client ends the connection.
class EchoScript : public TzorWSFrameEvents, public TzorWSFrameSink {
 public:
  static constexpr int kAnswerCode = 4005;
  explicit EchoScript(bool answerClose = false, std::chrono::milliseconds answerDelay = {})
      : answerClose_(answerClose), answerDelay_(answerDelay) {}
  int CloseReceived() const { return closeReceived_; }

  void Run(LoopbackPeer::Socket& socket) {
    socket_ = &socket;
    std::string request;
    char c;
    while (!request.ends_with("\r\n\r\n") && boost::asio::read(socket, boost::asio::buffer(&c, 1)) == 1) request += c;
    const size_t at = request.find("Sec-WebSocket-Key: ") + 19;
    const std::string key = request.substr(at, request.find("\r\n", at) - at);
    LoopbackPeer::WriteAll(socket, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                   "Sec-WebSocket-Accept: " + GetAcceptKey(key) + "\r\n\r\n");
    reader_.SetRequireMask(true);
    char buffer[65536];
    boost::system::error_code ec;
    while (!ec) {
      const size_t n = socket.read_some(boost::asio::buffer(buffer), ec);
      if (!ec && !reader_.Stopped()) reader_.Read(reinterpret_cast<const uint8_t*>(buffer), n);
    }
  }

 private:
  void DoMessageComplete(TzorWSMsg& msg) override {
    if (msg.Fragmented) return;
    if (msg.OpCode == opText || msg.OpCode == opBinary) writer_.WriteStreamFrame(msg.Stream, msg.OpCode, false);
    if (msg.OpCode == opPing) writer_.WriteStreamFrame(msg.Stream, opPong, false);
  }
  void DoDisconnect(const std::string& aMessage, int) override {
    if (!aMessage.empty()) return;
    closeReceived_ = reader_.CloseCode();
    if (!answerClose_) return;
    std::this_thread::sleep_for(answerDelay_);
    writer_.WriteCloseFrame(kAnswerCode);
  }
  void WriteFrame(const uint8_t* data, size_t size) override {
    LoopbackPeer::WriteAll(*socket_, std::string(reinterpret_cast<const char*>(data), size));
  }

  const bool answerClose_;
  const std::chrono::milliseconds answerDelay_;
  std::atomic<int> closeReceived_{0};
  LoopbackPeer::Socket* socket_ = nullptr;
  TzorWSFrameReader reader_{*this, nullptr};
  TzorWSFrameWriter writer_{*this, nullptr};
};

struct Received {
  std::mutex lock;
  std::condition_variable changed;
  std::map<std::string, int> texts;
  size_t count = 0;
};

TEST(WSClientConcurrency, ManyWritersOneReader) {
  EchoScript echo;
  LoopbackPeer peer([&](LoopbackPeer::Socket& s) { echo.Run(s); });
  TzorWSClient client;
  client.SetNotifyEvents(neNoSync);
  Received received;
  client.OnMessage = [&](TzorWSConnection*, const std::string& text) {
    {
      std::lock_guard l(received.lock);
      ++received.texts[text];
      ++received.count;
    }
    received.changed.notify_all();
  };
  std::atomic<int> failures{0};
  client.OnError = [&](TzorWSConnection*, const std::string&) { ++failures; };
  client.OnException = [&](TzorWSConnection*, const std::exception&) { ++failures; };
  client.SetURL("ws://127.0.0.1:" + std::to_string(peer.Port()) + "/");
  ASSERT_TRUE(client.Connect(10000));

  constexpr int kThreads = 4, kMessages = 200;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([&, t] {
      for (int i = 0; i < kMessages; ++i) {
        client.WriteData("writer " + std::to_string(t) + " message " + std::to_string(i) + std::string(i, 'x'));
        if (i % 50 == 0) client.Ping();
      }
    });
  for (auto& w : writers) w.join();
  {
    std::unique_lock l(received.lock);
    ASSERT_TRUE(received.changed.wait_for(l, std::chrono::seconds(30),
                                          [&] { return received.count == size_t{kThreads} * kMessages; }));
    // Every message came back whole, once.
    for (int t = 0; t < kThreads; ++t)
      for (int i = 0; i < kMessages; ++i)
        EXPECT_EQ((received.texts["writer " + std::to_string(t) + " message " + std::to_string(i) + std::string(i, 'x')]),
                  1);
  }
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(client.Disconnect(10000));
}

// The last binary message is the one being delivered while its handler
// runs, stays after it, and gives way to a value set meanwhile; another
// thread reads it all along.
TEST(WSClientConcurrency, TheLastBinaryMessageIsReadWhileMessagesArrive) {
  EchoScript echo;
  LoopbackPeer peer([&](LoopbackPeer::Socket& s) { echo.Run(s); });
  TzorWSClient client;
  client.SetNotifyEvents(neNoSync);
  constexpr int kMessages = 300, kSetAt = 100;
  auto message = [](int i) { return "binary " + std::to_string(i) + std::string(i, 'b'); };
  std::atomic<int> received{0}, wrongInHandler{0};
  client.OnBinary = [&](TzorWSConnection* connection, const TzorStringStream& data) {
    if (connection->MsgBinaryReceived().DataString() != data.DataString()) ++wrongInHandler;
    if (received == kSetAt) connection->SetMsgBinaryReceived(TzorStringStream("set"));
    if (received == kSetAt && connection->MsgBinaryReceived().DataString() != "set") ++wrongInHandler;
    ++received;
  };
  client.SetURL("ws://127.0.0.1:" + std::to_string(peer.Port()) + "/");
  ASSERT_TRUE(client.Connect(10000));
  const auto connection = client.Connection();
  ASSERT_TRUE(connection);

  std::atomic<bool> done{false};
  std::atomic<int> wrongOutside{0};
  std::thread reader([&] {
    while (!done) {
      const std::string seen = connection->MsgBinaryReceived().DataString();
      if (!seen.empty() && seen != "set" && !seen.starts_with("binary ")) ++wrongOutside;
    }
  });
  for (int i = 0; i < kMessages; ++i) client.WriteData(TzorStringStream(message(i)));
  for (int i = 0; i < 3000 && received < kMessages; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  done = true;
  reader.join();
  ASSERT_EQ(received, kMessages);
  EXPECT_EQ(wrongInHandler, 0);
  EXPECT_EQ(wrongOutside, 0);
  EXPECT_EQ(connection->MsgBinaryReceived().DataString(), message(kMessages - 1));
  EXPECT_TRUE(client.Disconnect(10000));
}

TEST(WSClientConcurrency, DeactivationRacesTheWriters) {
  for (int round = 0; round < 5; ++round) {
    EchoScript echo(true);  // a clean deactivation waits for the answer
    LoopbackPeer peer([&](LoopbackPeer::Socket& s) { echo.Run(s); });
    TzorWSClient client;
    client.SetNotifyEvents(neNoSync);
    client.Options().SetCleanDisconnect(round % 2 == 0);
    std::atomic<int> disconnects{0};
    client.OnDisconnect = [&](TzorWSConnection*, int) { ++disconnects; };
    client.SetURL("ws://127.0.0.1:" + std::to_string(peer.Port()) + "/");
    ASSERT_TRUE(client.Connect(10000));
    std::atomic<bool> go{true};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
      writers.emplace_back([&] {
        while (go) client.WriteData(std::string(100, 'w'));
      });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(client.Disconnect(10000));
    go = false;
    for (auto& w : writers) w.join();
    EXPECT_EQ(disconnects, 1);
    EXPECT_FALSE(client.Active());
  }
}

// A client connected to an echo server that answers our close (not at once)
// or stays silent; `close` ends the connection from the application thread. Returns
// the close codes OnDisconnect saw and the code the server received.
struct CloseOutcome {
  std::vector<int> codes;
  int serverReceived = 0;
};

CloseOutcome CloseAgainst(bool answers, const std::function<void(TzorWSClient&)>& close) {
  EchoScript echo(answers, std::chrono::milliseconds(200));
  auto peer = std::make_unique<LoopbackPeer>([&](LoopbackPeer::Socket& s) { echo.Run(s); });
  TzorWSClient client;
  client.SetNotifyEvents(neNoSync);
  client.Options().SetCleanDisconnect(true);
  std::mutex lock;
  std::condition_variable changed;
  CloseOutcome outcome;
  client.OnDisconnect = [&](TzorWSConnection*, int aCloseCode) {
    std::lock_guard l(lock);
    outcome.codes.push_back(aCloseCode);
    changed.notify_all();
  };
  client.SetURL("ws://127.0.0.1:" + std::to_string(peer->Port()) + "/");
  EXPECT_TRUE(client.Connect(10000));
  auto ws = client.Connection();
  if (!ws) return outcome;
  ws->SetCloseTimeOut(answers ? 600000 : 100);
  close(client);
  {
    std::unique_lock l(lock);
    // A guard against a hang, not a measurement.
    EXPECT_TRUE(changed.wait_for(l, std::chrono::seconds(60), [&] { return !outcome.codes.empty(); }));
  }
  EXPECT_FALSE(client.Active());
  peer.reset();  // its script ends when the client has closed the socket
  outcome.serverReceived = echo.CloseReceived();
  return outcome;
}

// Our close made on an application thread while the IO thread waits for
// bytes without end: the server's answer is read before the connection ends
// (its code reaches OnDisconnect), and a server that never answers is given
// up on after the close time-out.
TEST(WSClientCloseHandshake, AnApplicationThreadsCloseIsAnsweredOrGivenUpOn) {
  for (const bool answers : {true, false}) {
    SCOPED_TRACE(answers ? "answering server" : "silent server");
    const auto outcome = CloseAgainst(answers, [](TzorWSClient& client) { client.Connection()->Close(4001); });
    EXPECT_EQ(outcome.codes, std::vector<int>{answers ? EchoScript::kAnswerCode : 0});
    EXPECT_EQ(outcome.serverReceived, 4001);
  }
}

// A deactivation with CleanDisconnect waits for the server's answer to its
// close the same way, and gives up on a silent server after the time-out.
TEST(WSClientCloseHandshake, ADeactivationWaitsForTheAnswerOrGivesUp) {
  for (const bool answers : {true, false}) {
    SCOPED_TRACE(answers ? "answering server" : "silent server");
    const auto outcome = CloseAgainst(answers, [](TzorWSClient& client) { EXPECT_TRUE(client.Disconnect(60000)); });
    EXPECT_EQ(outcome.codes, std::vector<int>{answers ? EchoScript::kAnswerCode : 0});
    EXPECT_EQ(outcome.serverReceived, kCloseNormal);
  }
}

}  // namespace
}  // namespace zor
