#include "http2/frame_base.h"
#include "http2/send_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zor {
namespace {

std::span<const uint8_t> Octets(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The payloads of the DATA frames in `out`, each with its stream and whether
// it ends the stream.
struct DataFrame {
  uint32_t stream;
  std::string payload;
  bool end;
  bool operator==(const DataFrame&) const = default;
};
std::vector<DataFrame> DataFrames(const TzorByteBuffer& out) {
  std::vector<DataFrame> frames;
  for (size_t at = 0; at + 9 <= out.Size();) {
    const uint8_t* header = out.Data() + at;
    const uint32_t length = ReadWireInteger(header, 3);
    frames.push_back({ReadWireInteger(header + 5, 4), std::string(reinterpret_cast<const char*>(header + 9), length),
                      (header[4] & h2flags::END_STREAM) != 0});
    at += 9 + length;
  }
  return frames;
}

// Streams come and go by the thousand on a connection; whatever one left
// behind (queued octets, a spent window, its end) must not reach the next.
TEST(WriteDataFrames, EndedAndPurgedStreamsLeaveNothingToTheNext) {
  TzorHTTP2_Write_Data_Frames queue;
  queue.SetInitialWindowSize(4);
  TzorByteBuffer out;
  std::vector<int32_t> finished;
  for (int32_t stream = 1; stream < 200; stream += 2) {
    queue.OpenStream(stream);
    EXPECT_EQ(queue.WindowSize(stream), 4);
    EXPECT_EQ(queue.Pending(stream), 0u);
    out.Clear();
    finished.clear();
    if (stream % 4 == 1) {
      // Answered within its window: sent at once and ended.
      queue.AddFrame(stream, Octets("ok"), true, out, finished);
      EXPECT_EQ(DataFrames(out), (std::vector<DataFrame>{{static_cast<uint32_t>(stream), "ok", true}}));
      EXPECT_EQ(finished, std::vector<int32_t>{stream});
      EXPECT_FALSE(queue.HasStream(stream));
    } else {
      // More than the window: the rest waits until the stream is reset.
      queue.AddFrame(stream, Octets("too long"), true, out, finished);
      EXPECT_EQ(DataFrames(out), (std::vector<DataFrame>{{static_cast<uint32_t>(stream), "too ", false}}));
      EXPECT_EQ(queue.Pending(stream), 4u);
      queue.Purge(stream);
      EXPECT_FALSE(queue.HasStream(stream));
    }
    ASSERT_TRUE(queue.UpdateWindowSize(0, 6));  // the connection's window keeps up
  }
  // Nothing of the purged streams is sent when windows open.
  out.Clear();
  queue.OpenStream(1001);
  ASSERT_TRUE(queue.UpdateWindowSize(1001, 100));
  queue.SendFrames(out, finished);
  EXPECT_TRUE(out.Empty());
}

}  // namespace
}  // namespace zor
