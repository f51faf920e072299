// The connection over real loopback sockets against Python's websockets:
// our client (blocking transport) against its echo server, and its client
// against our server (event-driven transport); without compression, with
// permessage-deflate, and with small windows and no context takeover on the
// server's side; text, binary, empty, 1 MiB and fragmented messages; and
// every way of closing.
#include "tests/interop/peer_process.h"
#include "tests/websocket/loopback_endpoints.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>

namespace zor::test {
namespace {

const std::string kPeer = std::string(ZOR_SOURCE_DIR) + "/tests/interop/websocket/ws_peer.py";

std::vector<std::string> PeerCommand(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/usr/bin/python3", kPeer};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::string LogFile(const std::string& name) {
  return ::testing::TempDir() + "/ws_peer_" + name + "_" + std::to_string(::getpid()) + ".log";
}

// Messages as they come back, waited for with a generous bound.
class Inbox {
 public:
  void Attach(TzorWSConnection& c) {
    c.OnMessage = [this](TzorWSConnection*, const std::string& text) { Put("text:" + text); };
    c.OnBinary = [this](TzorWSConnection*, const TzorStringStream& data) { Put("binary:" + data.DataString()); };
  }
  bool WaitFor(size_t count) {
    std::unique_lock guard(lock_);
    return arrived_.wait_for(guard, std::chrono::seconds(60), [&] { return items_.size() >= count; });
  }
  std::vector<std::string> Items() {
    std::lock_guard guard(lock_);
    return items_;
  }

 private:
  void Put(std::string item) {
    {
      std::lock_guard guard(lock_);
      items_.push_back(std::move(item));
    }
    arrived_.notify_all();
  }
  std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<std::string> items_;
};

template <class Done>
bool WaitUntil(Done done) {
  for (int i = 0; i < 3000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return done();
}

DeflateSettings Offer(const std::string& mode) {
  DeflateSettings d;
  d.Enabled = mode != "plain";
  return d;
}

std::string Letters(size_t n) {
  std::string s(n, 'a');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7) % 26);
  return s;
}

class PythonServer : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    port_ = FreeLoopbackPort();
    peer_ = std::make_unique<PeerProcess>(PeerCommand({"server", std::to_string(port_), GetParam()}),
                                          LogFile("server_" + GetParam()));
    ASSERT_TRUE(peer_->WaitForOutput("ready")) << peer_->Output();
    client_ = std::make_shared<LoopbackClient>();
    inbox_.Attach(*client_);
    client_->Connect(port_, Offer(GetParam()));
    ASSERT_TRUE(WaitUntil([&] { return client_->Enabled() || client_->Ended(); })) << peer_->Output();
    ASSERT_TRUE(client_->Enabled()) << peer_->Output();
  }
  void TearDown() override {
    client_->Stop();
    peer_->Stop();
  }

  uint16_t port_ = 0;
  std::unique_ptr<PeerProcess> peer_;
  std::shared_ptr<LoopbackClient> client_;
  Inbox inbox_;
};

TEST_P(PythonServer, MessagesComeBackAndOurCloseIsAnswered) {
  EXPECT_EQ(client_->Extensions().Compression(), GetParam() != "plain");
  const std::string big = Letters(1 << 20);
  std::string bytes(1 << 20, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31);
  client_->WriteData("hello");
  client_->WriteData(TzorStringStream(std::string("\x00\x01\xFF", 3)));
  client_->WriteData(std::string());
  client_->WriteData(big);
  client_->WriteData(TzorStringStream(bytes));
  client_->WriteData(TzorStringStream(bytes), 100000);  // compressed as a whole, sent in 11 frames
  client_->WriteData("frag", 0, stmFirst);
  client_->WriteData("mented", 0, stmContinue);
  client_->WriteData(" text", 0, stmLast);
  client_->WriteData("caf\xC3\xA9 split in frames", 4);
  ASSERT_TRUE(inbox_.WaitFor(8)) << peer_->Output();
  const std::vector<std::string> expected = {
      "text:hello",          "binary:" + std::string("\x00\x01\xFF", 3), "text:",
      "text:" + big,         "binary:" + bytes,                            "binary:" + bytes,
      "text:fragmented text", "text:caf\xC3\xA9 split in frames"};
  const auto got = inbox_.Items();
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(got[i] == expected[i]) << "message " << i;
  EXPECT_TRUE(client_->Ping("are you there", 60000));

  client_->Close();
  ASSERT_TRUE(WaitUntil([&] { return client_->Ended(); }));
  EXPECT_TRUE(peer_->WaitForOutput("closed 1000")) << peer_->Output();
  EXPECT_EQ(client_->CloseCode(), 1000);  // its answer was read before the end
  EXPECT_TRUE(client_->Errors().empty());
}

TEST_P(PythonServer, ItsCloseIsReadAndAnswered) {
  client_->WriteData("close-me");
  ASSERT_TRUE(WaitUntil([&] { return client_->Ended(); })) << peer_->Output();
  EXPECT_EQ(client_->CloseCode(), 4001);
  EXPECT_EQ(client_->CloseReason(), "bye");
  // Our answer carries 1000, as every close we answer does.
  EXPECT_TRUE(peer_->WaitForOutput("closed 1000")) << peer_->Output();
}

TEST_P(PythonServer, DisconnectSendsItsCodeAndDropSendsNone) {
  client_->Disconnect(1001);
  EXPECT_TRUE(peer_->WaitForOutput("closed 1001")) << peer_->Output();

  auto dropped = std::make_shared<LoopbackClient>();
  dropped->Connect(port_, Offer(GetParam()));
  ASSERT_TRUE(WaitUntil([&] { return dropped->Enabled(); }));
  dropped->DropConnection();
  EXPECT_TRUE(peer_->WaitForOutput("closed 1006")) << peer_->Output();
  dropped->Stop();
}

INSTANTIATE_TEST_SUITE_P(Compression, PythonServer, ::testing::Values("plain", "deflate", "small"));

// --- Python's client against our server -------------------------------------------------

struct PythonClientCase {
  std::string mode;
  std::string ending;
  std::string expected;  // what the Python client prints last before "done"
};

class PythonClient : public ::testing::TestWithParam<PythonClientCase> {};

TEST_P(PythonClient, EchoesAndEnds) {
  const PythonClientCase& c = GetParam();
  // Its fragmented text, as our fragment events see it (each of its frames
  // compressed on its own when deflate is on).
  std::mutex fragmentsLock;
  std::vector<std::string> fragments;
  LoopbackServer server([&](LoopbackServerConnection& conn) {
    Offer(c.mode).ApplyTo(conn.Extensions(), appServer);
    conn.SetMaxMessageSize(3 << 19);  // 1.5 MiB: the 1 MiB messages pass, 2 MiB do not
    conn.SetFragmentedMessages(frgAll);
    conn.OnFragmented = [&](TzorWSConnection*, const TzorStringStream& data, TOpcode, bool continuation) {
      std::lock_guard guard(fragmentsLock);
      if (data.Size() < 100) fragments.push_back(data.DataString() + (continuation ? "+" : "."));
    };
    conn.OnMessage = [](TzorWSConnection* self, const std::string& text) {
      if (text == "close-me")
        self->Close(4002);
      else
        self->WriteData(text);
    };
    conn.OnBinary = [](TzorWSConnection* self, const TzorStringStream& data) { self->WriteData(data); };
  });
  PeerProcess peer(PeerCommand({"client", std::to_string(server.Port()), c.mode, c.ending}),
                   LogFile("client_" + c.mode + "_" + c.ending));
  ASSERT_TRUE(peer.WaitForOutput("done", 60)) << peer.Output();
  const std::string out = peer.Output();
  EXPECT_NE(out.find(c.mode == "plain" ? "extensions none" : "extensions permessage-deflate"), std::string::npos) << out;
  for (int i = 0; i < 6; ++i) EXPECT_NE(out.find("echo " + std::to_string(i) + " ok"), std::string::npos) << out;
  EXPECT_NE(out.find("echo fragmented ok"), std::string::npos) << out;
  EXPECT_NE(out.find(c.expected), std::string::npos) << out;
  {
    std::lock_guard guard(fragmentsLock);
    // Its last frame is an empty one with FIN.
    const std::vector<std::string> growing = {"frag+", "fragmented +", "fragmented text+", "fragmented text."};
    EXPECT_NE(std::search(fragments.begin(), fragments.end(), growing.begin(), growing.end()), fragments.end())
        << ::testing::PrintToString(fragments);
  }
  const auto connections = server.Connections();
  ASSERT_EQ(connections.size(), 1u);
  EXPECT_TRUE(WaitUntil([&] { return !connections[0]->Active(); }));
  if (c.ending != "drop") {
    EXPECT_TRUE(connections[0]->Disconnected());
  }
  if (c.ending == "1000") {
    EXPECT_EQ(connections[0]->CloseCode(), 1000);
  }
  if (c.ending == "close-me") {
    EXPECT_EQ(connections[0]->CloseCode(), 4002);  // its answer to our close was read
  }
}

INSTANTIATE_TEST_SUITE_P(
    Endings, PythonClient,
    ::testing::Values(PythonClientCase{"plain", "1000", "closed 1000"},
                      PythonClientCase{"deflate", "1000", "closed 1000"},
                      PythonClientCase{"small", "1000", "closed 1000"},
                      PythonClientCase{"deflate", "close-me", "closed 4002"},
                      PythonClientCase{"plain", "drop", "dropped"},
                      PythonClientCase{"small", "too-big", "closed 1009"}),
    [](const auto& info) { return info.param.mode + "_" + (info.param.ending == "close-me" ? "closeme" : info.param.ending == "too-big" ? "toobig" : info.param.ending); });

}  // namespace
}  // namespace zor::test
