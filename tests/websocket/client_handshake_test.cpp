#include <gtest/gtest.h>

#include "websocket/client_handshake.h"
#include "websocket/handshake.h"

namespace zor {
namespace {

// Bytes handed in by the test; no socket behind them.
class ScriptedTransport : public TzorTransport {
 public:
  std::string input, written;
  bool open = true;
  int waits = 0;

  size_t InputBufferSize() const override { return input.size(); }
  size_t ReadFromBuffer(std::string& out, size_t max) override {
    const size_t n = std::min(max, input.size());
    out.append(input, 0, n);
    input.erase(0, n);
    return n;
  }
  using TzorTransport::ReadFromBuffer;
  void ClearInput() override { input.clear(); }
  bool WaitForData(int) override {
    ++waits;
    return false;
  }
  void Write(std::string_view bytes) override { (collecting ? pending : written).append(bytes); }
  using TzorTransport::Write;
  void BeginWrite() override { collecting = true; }
  void FlushWrite() override {
    written += pending;
    pending.clear();
  }
  void EndWrite() override {
    FlushWrite();
    collecting = false;
  }
  void CancelWrite() override {
    pending.clear();
    collecting = false;
  }
  bool Connected() const override { return open; }
  void Disconnect(bool) override { open = false; }
  std::string PeerIP() const override { return {}; }
  uint16_t PeerPort() const override { return 0; }
  std::string LocalIP() const override { return {}; }
  uint16_t LocalPort() const override { return 0; }
  std::string NegotiatedALPN() const override { return {}; }

 private:
  bool collecting = false;
  std::string pending;
};

TEST(WSClientHandshake, RequestGoesOutInOneWrite) {
  ScriptedTransport t;
  WriteHandshakeRequest(t, {"GET / HTTP/1.1", "Host: h"});
  EXPECT_EQ(t.written, "GET / HTTP/1.1\r\nHost: h\r\n\r\n");
}

TEST(WSClientHandshake, AnswerIsReadUpToTheEmptyLineOnly) {
  ScriptedTransport t;
  const std::string frame = "\x81\x02hi";
  t.input = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n\r\n" + frame;
  const auto lines = ReadHandshakeResponseLines(t, TzorDeadline::After(1000));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "HTTP/1.1 101 Switching Protocols");
  EXPECT_EQ(t.input, frame);  // left for the frame reader
}

TEST(WSClientHandshake, FailuresOfTheAnswer) {
  ScriptedTransport closed;
  closed.input = "HTTP/1.1 101 Switching\r\n";
  closed.open = false;
  try {
    ReadHandshakeResponseLines(closed, TzorDeadline::After(1000));
    ADD_FAILURE();
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
  }

  ScriptedTransport silent;
  try {
    ReadHandshakeResponseLines(silent, TzorDeadline::Now());
    ADD_FAILURE();
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Handshake Timeout");
  }

  // A header block without end is cut off at the bound, not read forever.
  ScriptedTransport huge;
  huge.input = "HTTP/1.1 101 Switching Protocols\r\n";
  while (huge.input.size() <= kMaxHandshakeHeaderSize) huge.input += "X-Filler: " + std::string(100, 'x') + "\r\n";
  EXPECT_THROW(ReadHandshakeResponseLines(huge, TzorDeadline()), TzorWSException);
  EXPECT_GT(huge.input.size(), 0u);
}

}  // namespace
}  // namespace zor
