// The client's HTTP/2 stream under threads: several writers push messages
// through a small server window while the reading thread takes the server's
// window updates (releasing held bytes) and its echoes; every message comes
// back whole and in each writer's order.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <thread>

#include "http2/session.h"
#include "tests/websocket/memory_transport.h"
#include "websocket/ws_connection_client.h"

namespace zor {
namespace {

// Runs `step` whenever the transport has bytes, until stopped.
class Pump {
 public:
  Pump(test::MemoryTransport& t, std::function<void()> step)
      : thread_([this, &t, step = std::move(step)] {
          while (!stop_)
            if (t.WaitForData(20)) step();
        }) {}
  ~Pump() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(RFC8441ClientThreads, WritersThroughASmallWindowWhileTheReaderCreditsIt) {
  const auto transports = test::MemoryTransport::Pair();
  const auto mine = transports.first, theirs = transports.second;
  mine->ALPN = "h2";
  auto client = std::make_shared<TzorWSConnectionClient>();
  client->Host = "h2.example";
  client->SetTransport(trpRFC8441);
  client->SetMasked(true);
  client->SetReadTimeOut(0);
  client->SetMaxQueuedBytes(uint64_t{1} << 30);

  TzorHTTP2Session server;
  server.Settings().EnableConnectProtocol = true;
  server.Settings().InitialWindowSize = 4096;
  server.OnHTTP2WriteBytes = [&](TzorHTTP2Session&, std::span<const uint8_t> bytes) {
    theirs->Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  };
  server.OnHTTP2Request = [](TzorHTTP2Session& s, const TzorHTTP2_HeaderList&, std::span<const uint8_t>,
                             int32_t stream, int32_t, TzorStringStream*) { s.SendHTTP2TunnelResponse(stream, 200); };
  server.OnHTTP2TunnelData = [](TzorHTTP2Session& s, int32_t stream, std::span<const uint8_t> bytes, bool) {
    s.SendHTTP2TunnelData(stream, bytes, false);  // masked frames, which a client may read
  };

  constexpr int kWriters = 4, kMessages = 200;
  std::mutex lock;
  std::condition_variable changed;
  std::map<int, std::vector<int>> seen;  // writer -> message numbers in arrival order
  int count = 0;
  client->OnEnabled = [&](TzorWSConnectionClient*) { changed.notify_all(); };
  client->OnMessage = [&](TzorWSConnection*, const std::string& text) {
    const size_t dash = text.find('-');
    std::lock_guard guard(lock);
    seen[std::stoi(text.substr(1, dash - 1))].push_back(std::stoi(text.substr(dash + 1)));
    ++count;
    changed.notify_all();
  };

  server.StartHTTP2();
  client->DoInitialize(mine);
  Pump serverSide(*theirs, [&] {
    std::string bytes;
    theirs->ReadFromBuffer(bytes, theirs->InputBufferSize());
    server.ReadHTTP2Data(bytes);
  });
  Pump clientSide(*mine, [&] {
    try {
      client->ReadFrames(false);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
    }
  });
  {
    std::unique_lock guard(lock);
    ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(30), [&] { return client->Enabled(); }));
  }

  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      for (int n = 0; n < kMessages; ++n) client->WriteData("w" + std::to_string(w) + "-" + std::to_string(n) + "-" +
                                                           std::string(300, static_cast<char>('a' + w)));
    });
  for (auto& t : writers) t.join();
  std::unique_lock guard(lock);
  ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(30), [&] { return count == kWriters * kMessages; }))
      << count;
  for (int w = 0; w < kWriters; ++w) {
    ASSERT_EQ(seen[w].size(), size_t{kMessages});
    for (int n = 0; n < kMessages; ++n) EXPECT_EQ(seen[w][n], n) << "writer " << w;
  }
}

}  // namespace
}  // namespace zor
