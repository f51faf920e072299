#pragma once
// Reader of the legacy Hixie-76 framing: text messages as 0x00 ... 0xFF, and
// the closing handshake 0xFF 0x00, answered in kind.
#include "websocket/frame_reader.h"
#include "websocket/frame_writer.h"

namespace zor {

// Reader of the legacy Hixie-76 framing.
class TzorWSHixie76Reader {
 public:
  // Messages go to events.DoMessageComplete as opText; the close answer to `sink`.
  TzorWSHixie76Reader(TzorWSFrameEvents& events, TzorWSFrameSink& sink) : events_(events), sink_(sink) {}

  uint64_t MaxMessageSize() const { return maxMessageSize_; }
  void SetMaxMessageSize(uint64_t value) { maxMessageSize_ = value; }

  // Consumes bytes until they run out or the reader stops; returns the count.
  size_t Read(const uint8_t* data, size_t size);
  void Stop() { stopped_ = true; }

 private:
  TzorWSFrameEvents& events_;
  TzorWSFrameSink& sink_;
  uint64_t maxMessageSize_ = kDefaultMaxMessageSize;
  int state_ = 0;  // 0 between messages, 1 inside one, 2 after a leading 0xFF
  bool stopped_ = false;
  TzorWSMsg message_;
};

}  // namespace zor
