#include "websocket/hixie76_reader.h"

#include "base/format.h"

#include <cstring>

namespace zor {

size_t TzorWSHixie76Reader::Read(const uint8_t* data, size_t size) {
  size_t pos = 0;
  while (pos < size && !stopped_) {
    if (state_ == 1) {
      const auto* end = static_cast<const uint8_t*>(std::memchr(data + pos, 0xFF, size - pos));
      const size_t n = end ? static_cast<size_t>(end - (data + pos)) : size - pos;
      if (message_.Stream.size() + n > maxMessageSize_) {
        stopped_ = true;
        events_.DoDisconnect(Format("Message too big: more than %llu bytes",
                                    static_cast<unsigned long long>(maxMessageSize_)),
                             kCloseMessageTooBig);
        break;
      }
      message_.Stream.append(reinterpret_cast<const char*>(data + pos), n);
      pos += n;
      if (!end) break;
      ++pos;
      state_ = 0;
      message_.OpCode = opText;
      events_.DoMessageComplete(message_);
      message_.Clear();
      continue;
    }
    const uint8_t b = data[pos++];
    if (state_ == 2) {
      state_ = 0;
      if (b == 0x00) {
        static const uint8_t kClose[2] = {0xFF, 0x00};
        TzorWSSinkLock lock(sink_);
        sink_.WriteFrame(kClose, sizeof kClose);
      }
    } else if (b == 0x00) {
      state_ = 1;
    } else if (b == 0xFF) {
      state_ = 2;
    }  // any other byte between messages is ignored
  }
  return pos;
}

}  // namespace zor
