#include "websocket/tcp_frame_reader.h"

#include "base/format.h"

namespace zor {

void TzorTCPFrameReader::Read(std::string_view bytes) {
  if (stopped_) return;
  const size_t before = pending_.size();
  if (before + bytes.size() > max_message_size_) {
    pending_.clear();
    stopped_ = true;
    events_.DoDisconnect(Format("Message too big: more than %llu bytes without end of frame",
                                static_cast<unsigned long long>(max_message_size_)),
                         kCloseMessageTooBig);
    return;
  }
  pending_.append(bytes);
  switch (scan_) {
    case eofScanNone:
      Deliver(pending_.size());
      break;
    case eofScanLatestBytes:
      if (bytes.ends_with(end_of_frame_)) Deliver(pending_.size());
      break;
    case eofScanAllBytes: {
      if (end_of_frame_.empty()) return Deliver(pending_.size());
      // Only the new bytes (and a delimiter's worth before them) can hold a
      // delimiter not seen before.
      size_t from = before >= end_of_frame_.size() ? before - end_of_frame_.size() + 1 : 0;
      for (size_t at; !stopped_ && !pending_.empty() && (at = pending_.find(end_of_frame_, from)) != std::string::npos; from = 0)
        Deliver(at + end_of_frame_.size());
      break;
    }
  }
}

void TzorTCPFrameReader::Deliver(size_t length) {
  message_.OpCode = opBinary;
  message_.Stream.assign(pending_, 0, length);
  pending_.erase(0, length);
  events_.DoMessageComplete(message_);
  message_.Clear();
}

}  // namespace zor
