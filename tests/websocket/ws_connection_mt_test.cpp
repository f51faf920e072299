// The connection under threads: many writers and one reader (with and
// without compression), waits for pongs and answers, and the close sequence
// raced from several threads.
#include "tests/websocket/ws_pair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>

namespace zor::test {
namespace {

// Runs a side's read loop on a thread of its own until it is told to stop or
// the connection ends.
class ReadThread {
 public:
  ReadThread(OpenConnection& c, MemoryTransport& t, bool requireMask)
      : thread_([this, &c, &t, requireMask] {
          while (!stop_ && !c.Disconnected()) {
            if (!t.WaitForData(50)) continue;
            try {
              c.ReadFrames(requireMask);
            } catch (const std::exception&) {
              return;
            }
          }
        }) {}
  ~ReadThread() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void ManyWritersOneReader(bool compress) {
  WSPair p;
  if (compress) p.EnableCompression();
  constexpr int kWriters = 4, kMessages = 300;
  std::mutex lock;
  std::map<int, std::vector<int>> seen;  // writer -> message numbers in arrival order
  std::atomic<int> count{0};
  std::condition_variable done;
  p.server->OnMessage = [&](TzorWSConnection*, const std::string& text) {
    const size_t dash = text.find('-');
    std::lock_guard guard(lock);
    seen[std::stoi(text.substr(1, dash - 1))].push_back(std::stoi(text.substr(dash + 1)));
    if (++count == kWriters * kMessages) done.notify_all();
  };
  ReadThread reader(*p.server, *p.serverTransport, true);
  ReadThread clientReader(*p.client, *p.clientTransport, false);  // takes the pongs
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      for (int n = 0; n < kMessages; ++n) {
        // Long enough to compress, different enough to need the context.
        p.client->WriteData("w" + std::to_string(w) + "-" + std::to_string(n) + std::string(40 + n % 50, 'a' + w));
        if (n % 50 == 0) p.client->Ping("p" + std::to_string(w));
      }
    });
  for (auto& t : writers) t.join();
  {
    std::unique_lock guard(lock);
    done.wait(guard, [&] { return count == kWriters * kMessages || p.server->Disconnected(); });
  }
  EXPECT_FALSE(p.server->Disconnected());
  for (int w = 0; w < kWriters; ++w) {
    ASSERT_EQ(seen[w].size(), static_cast<size_t>(kMessages)) << w;
    for (int n = 0; n < kMessages; ++n) EXPECT_EQ(seen[w][n], n);
  }
}

TEST(WSConnectionThreads, ManyWritersOneReader) { ManyWritersOneReader(false); }
TEST(WSConnectionThreads, ManyWritersOneReaderWithCompression) { ManyWritersOneReader(true); }

TEST(WSConnectionThreads, PingAndWriteAndWaitDataWaitForTheirAnswers) {
  WSPair p;
  p.server->OnMessage = [](TzorWSConnection* c, const std::string& text) { c->WriteData("echo:" + text); };
  ReadThread serverReader(*p.server, *p.serverTransport, true);
  ReadThread clientReader(*p.client, *p.clientTransport, false);
  EXPECT_TRUE(p.client->Ping("x", 60000));
  EXPECT_EQ(p.client->WriteAndWaitData("q", 60000), "echo:q");
  EXPECT_TRUE(p.client->Ping("x", 60000));  // the earlier pong does not count
  EXPECT_EQ(p.client->PingsOutstanding(), 0u);
}

TEST(WSConnectionThreads, WaitersAreReleasedWhenTheConnectionCloses) {
  // Nobody reads on the other side: no pong or answer can come.
  WSPair p;
  std::thread pingCloser([&] {
    while (p.client->PingsOutstanding() == 0) std::this_thread::yield();
    p.client->Disconnect();
  });
  EXPECT_FALSE(p.client->Ping("never", 600000));
  pingCloser.join();

  WSPair q;
  std::thread answerCloser([&] {
    while (q.serverTransport->InputBufferSize() == 0) std::this_thread::yield();
    q.client->Disconnect();
  });
  EXPECT_EQ(q.client->WriteAndWaitData("question", 600000), "");
  answerCloser.join();
}

TEST(WSConnectionThreads, AReadPassThatWaitsForBytesWithoutEndEndsAnUnansweredCloseOnTime) {
  // As on a client's IO thread: between frames the pass waits for bytes
  // without a limit. The peer reads nothing and never answers our close.
  WSPair p;
  p.server->SetReadTimeOut(-1);
  p.server->SetCloseTimeOut(50);
  p.server->OnMessage = [](TzorWSConnection* self, const std::string&) { self->Close(4000); };
  p.client->WriteData("bye");
  auto pass = std::async(std::launch::async, [&] { p.server->ReadFrames(true); });
  // A guard against a hang, not a measurement: the pass must end by itself.
  const bool ended = pass.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  if (!ended) p.serverTransport->Disconnect();  // lets the stuck pass go
  ASSERT_TRUE(ended);
  pass.get();
  EXPECT_EQ(p.serverTransport->Disconnects(), 1);
  EXPECT_FALSE(p.server->AwaitingCloseAnswer());
  EXPECT_EQ(p.server->CloseCode(), 0);
  const auto frames = SplitFrames(TakeInput(*p.clientTransport));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].first, 0x88);
}

TEST(WSConnectionThreads, TheCloseCodeAndReasonReceivedCanBeReadFromAnyThread) {
  // An application thread looks at them while the reader goes through the
  // frames before the close, each of which starts with the code cleared.
  WSPair p;
  std::atomic<bool> closed{false};
  std::thread watcher([&] {
    while (!closed) {
      const int code = p.server->CloseCode();
      const std::string reason = p.server->CloseReason();
      EXPECT_TRUE(code == 0 || code == 4001) << code;
      EXPECT_TRUE(reason.empty() || reason == "bye") << reason;
    }
  });
  {
    ReadThread reader(*p.server, *p.serverTransport, true);
    for (int i = 0; i < 300; ++i) p.client->WriteData("message " + std::to_string(i));
    // A masked close frame with the all-zero key: 4001 and "bye".
    p.clientTransport->Write(std::string("\x88\x85\0\0\0\0\x0f\xa1" "bye", 11));
    while (!p.server->Disconnected()) std::this_thread::yield();
  }
  closed = true;
  watcher.join();
  EXPECT_EQ(p.serverGot.texts.size(), 300u);
  EXPECT_EQ(p.server->CloseCode(), 4001);
  EXPECT_EQ(p.server->CloseReason(), "bye");
}

TEST(WSConnectionThreads, TheCloseSequenceRunsOnceWhicheverThreadsRaceIntoIt) {
  for (int round = 0; round < 20; ++round) {
    WSPair p;
    std::atomic<int> heard{0};
    p.client->OnTransportDisconnected = [&](TzorWSConnection*) { ++heard; };
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
      threads.emplace_back([&, i] {
        while (!go) std::this_thread::yield();
        switch (i % 4) {
          case 0: p.client->Disconnect(); break;
          case 1: p.client->DropConnection(); break;
          case 2: p.client->Disconnect(1001); break;
          default:
            try {
              p.client->WriteData("racing");
            } catch (const TzorWSException&) {
              // the transport may be closed already
            }
        }
      });
    go = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(p.clientTransport->Disconnects(), 1);
    EXPECT_EQ(heard, 1);
    int closeFrames = 0;
    for (const WireFrame& f : SplitFrames(TakeInput(*p.serverTransport))) closeFrames += f.first == 0x88;
    EXPECT_LE(closeFrames, 1);
  }
}

}  // namespace
}  // namespace zor::test
