#pragma once
// Reader of the plain TCP transport: no framing, so a message is what one
// read brings, or the bytes up to a delimiter. Sans-IO, like the frame reader.
#include "websocket/frame_reader.h"

#include <string>

namespace zor {

enum TtcpEOFScanBuffer : uint8_t { eofScanNone, eofScanLatestBytes, eofScanAllBytes };

// Messages of plain TCP, ended by a configured byte sequence.
class TzorTCPFrameReader {
 public:
  // Messages go to events.DoMessageComplete as opBinary; a message growing
  // beyond MaxMessageSize to events.DoDisconnect with 1009.
  explicit TzorTCPFrameReader(TzorWSFrameEvents& events) : events_(events) {}

  TtcpEOFScanBuffer ScanBuffer() const { return scan_; }
  void SetScanBuffer(TtcpEOFScanBuffer value) { scan_ = value; }
  const std::string& EndOfFrame() const { return end_of_frame_; }
  void AddEndOfFrame(uint8_t b) { end_of_frame_.push_back(static_cast<char>(b)); }
  void ClearEndOfFrame() { end_of_frame_.clear(); }
  uint64_t MaxMessageSize() const { return max_message_size_; }
  void SetMaxMessageSize(uint64_t value) { max_message_size_ = value; }

  // Everything one read brought.
  void Read(std::string_view bytes);
  void Stop() { stopped_ = true; }

 private:
  void Deliver(size_t length);

  TzorWSFrameEvents& events_;
  TtcpEOFScanBuffer scan_ = eofScanNone;
  std::string end_of_frame_;
  uint64_t max_message_size_ = kDefaultMaxMessageSize;
  TzorWSMsg message_;
  std::string pending_;  // bytes read and not yet delivered
  bool stopped_ = false;
};

}  // namespace zor
