// Answers sent from other threads while the reading thread goes on reading:
// every answer arrives whole and decodable, in one HPACK context.
#include "http2/session.h"
#include "tests/http2/session_test_support.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace zor {
namespace {

using testing::TClient;
using testing::WindowUpdate;

TEST(SessionThreads, AnswersFromWorkersWhileReading) {
  constexpr int kRequests = 400;
  TClient c;
  c.session.MaxStreams = kRequests;  // slow workers may leave them all open
  std::mutex lock;
  std::condition_variable ready;
  std::deque<int32_t> pending;
  bool done = false;
  c.session.OnHTTP2Request = [&](TzorHTTP2Session&, const TzorHTTP2_HeaderList&, std::span<const uint8_t>,
                                 int32_t request, int32_t, TzorStringStream*) {
    const std::lock_guard guard(lock);
    pending.push_back(request);
    ready.notify_one();
  };
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w)
    workers.emplace_back([&] {
      for (;;) {
        int32_t stream;
        {
          std::unique_lock guard(lock);
          ready.wait(guard, [&] { return done || !pending.empty(); });
          if (pending.empty()) return;
          stream = pending.front();
          pending.pop_front();
        }
        TzorHTTP2ResponseInfo response;
        response.RawHeaders = {"x-stream: " + std::to_string(stream)};
        response.ContentStream = TBytes(static_cast<size_t>(stream) * 50, 'b');  // some wait for windows
        c.session.SendHTTP2Response("example.com", response, 0, stream);
      }
    });
  for (int i = 0; i < kRequests; ++i) {
    c.Get(2 * i + 1);
    if (i % 10 == 0) c.Send(WindowUpdate(0, 1 << 20));
  }
  {
    const std::lock_guard guard(lock);
    done = true;
    ready.notify_all();
  }
  for (std::thread& worker : workers) worker.join();
  // Every stream: its HEADERS once, its DATA ending it once.
  size_t headers = 0, ends = 0;
  for (const std::string& frame : c.Sent()) {
    headers += frame.rfind("HEADERS ", 0) == 0;
    ends += frame.size() > 4 && frame.compare(frame.size() - 4, 4, " end") == 0;
  }
  EXPECT_EQ(headers, static_cast<size_t>(kRequests));
  EXPECT_FALSE(c.disconnected);
  // The connection window granted stays ahead of what is sent.
  EXPECT_EQ(ends, static_cast<size_t>(kRequests));
  EXPECT_EQ(c.session.StreamCount(), 0u);
}

}  // namespace
}  // namespace zor
