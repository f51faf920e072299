#include "websocket/frame_reader.h"

#include "base/bytes.h"
#include "base/format.h"
#include "websocket/extensions.h"
#include "websocket/masking.h"

#include <cstring>

namespace zor {

namespace {

constexpr uint8_t kFinBit = 0x80;
constexpr uint8_t kRSVBits = 0x70;
constexpr uint8_t kMaskBit = 0x80;
constexpr size_t kLongestHeader = 14;  // 2 + 8 length bytes + 4 key bytes

bool InRange(uint8_t b, uint8_t low, uint8_t high) { return b >= low && b <= high; }

// Length of the well-formed sequence at p (Unicode's table), 0 when it is not.
size_t WellFormedSequence(const uint8_t* p, size_t left) {
  const uint8_t b = p[0];
  size_t n;
  uint8_t low = 0x80, high = 0xBF;  // range of the second byte
  if (b <= 0x7F) return 1;
  if (InRange(b, 0xC2, 0xDF)) {
    n = 2;
  } else if (InRange(b, 0xE0, 0xEF)) {
    n = 3;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (InRange(b, 0xF0, 0xF4)) {
    n = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (left < n || !InRange(p[1], low, high)) return 0;
  for (size_t i = 2; i < n; ++i)
    if (!InRange(p[i], 0x80, 0xBF)) return 0;
  return n;
}

bool IsWellFormedUTF8(const uint8_t* p, size_t size) {
  size_t i = 0;
  while (i < size) {
    // ASCII runs, 8 bytes at a time.
    if (i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    const size_t n = WellFormedSequence(p + i, size - i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

bool IsCloseCodeAccepted(int code) {
  return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1011) || (code >= 3000 && code <= 4999);
}

}  // namespace

bool ValidateUTF8Payload(std::string_view payload, bool validate) {
  if (!validate || payload.empty()) return true;
  const auto* p = reinterpret_cast<const uint8_t*>(payload.data());
  if (IsWellFormedUTF8(p, payload.size())) return true;
  // A lone F4 at the very end is accepted (the rest must be well formed).
  return p[payload.size() - 1] == 0xF4 && IsWellFormedUTF8(p, payload.size() - 1);
}

bool TzorWSFrameReader::DecodeTextPayload(std::string_view payload, std::string& text) {
  const auto* p = reinterpret_cast<const uint8_t*>(payload.data());
  if (IsWellFormedUTF8(p, payload.size())) {
    text.assign(payload);
    return true;
  }
  if (!ValidateUTF8Payload(payload, validateUTF8_)) {
    Fail("Invalid UTF8 message", kCloseInvalidPayload);
    return false;
  }
  // Not validating (or the lone final F4): ill-formed sequences become U+FFFD.
  text = BytesToUTF8Text(TBytes(p, p + payload.size()));
  return true;
}

void TzorWSFrameReader::Fail(const std::string& message, int closeCode) {
  stopped_ = true;
  events_.DoDisconnect(message, closeCode);
}

size_t TzorWSFrameReader::Read(const uint8_t* data, size_t size) {
  size_t pos = 0;
  while (pos < size && !stopped_) {
    TzorWSMsg& m = *current_;
    switch (m.State) {
      case 0:
        if (const size_t n = SmallFrame(data + pos, size - pos)) {
          pos += n;
          // Runs of small frames stay on this path.
          while (pos < size && !stopped_ && current_->State == 0) {
            const size_t next = SmallFrame(data + pos, size - pos);
            if (next == 0) break;
            pos += next;
          }
          break;
        }
        // With the longest header at hand, step through it without the dispatch per byte.
        pos += size - pos >= kLongestHeader ? WholeHeader(data + pos) : (FirstByte(data[pos]), 1);
        break;
      case 1:
        SecondByte(data[pos++]);
        break;
      case 2:
        LengthByte(data[pos++]);
        break;
      case 3:
        if (m.MaskIndex == 0 && size - pos >= 4) {  // the whole key at once
          std::memcpy(m.Mask, data + pos, 3);
          m.MaskIndex = 3;
          pos += 3;
        }
        MaskByte(data[pos++]);
        break;
      default:
        pos += PayloadBytes(data + pos, size - pos);
        break;
    }
  }
  return pos;
}

size_t TzorWSFrameReader::SmallFrame(const uint8_t* p, size_t available) {
  if (available < 2) return 0;
  const uint8_t b0 = p[0], b1 = p[1];
  const bool masked = (b1 & kMaskBit) != 0;
  const size_t length = b1 & 0x7F;
  const size_t header = masked ? 6 : 2;
  // Only the common case: a whole final text or binary frame, no message under
  // way, nothing to report. Everything else takes the step-by-step path.
  const uint8_t op = b0 & 0x0F;
  if ((b0 & (kFinBit | kRSVBits)) != kFinBit || (op != 0x1 && op != 0x2) || length >= 126 ||
      (!masked && requireMask_) || header + length > available || length > maxMessageSize_ ||
      message_.OpCode != opNone)
    return 0;
  closeCode_ = 0;
  if (!closeReason_.empty()) closeReason_.clear();
  if (extensions_) extensions_->DecodeHeader(b0);
  TzorWSMsg& m = message_;
  m.OpCode = op == 0x1 ? opText : opBinary;
  m.ReadMasked = masked;
  // Sized first, then filled by one masked copy (append would copy, then XOR in place).
  m.Stream.resize(length);
  auto* payload = reinterpret_cast<uint8_t*>(m.Stream.data());
  if (masked) {
    std::memcpy(m.Mask, p + 2, 4);
    MaskCopy(payload, p + header, length, m.Mask);
  } else {
    std::memcpy(payload, p + header, length);
  }
  current_ = &m;
  events_.DoMessageComplete(m);
  if (!stopped_) m.Clear();
  return header + length;
}

size_t TzorWSFrameReader::WholeHeader(const uint8_t* p) {
  size_t n = 0;
  FirstByte(p[n++]);
  if (!stopped_ && current_->State == 1) SecondByte(p[n++]);
  // A failure leaves the state where it was: stop at once.
  while (!stopped_ && current_->State == 2) LengthByte(p[n++]);
  TzorWSMsg& m = *current_;
  if (!stopped_ && m.State == 3) {
    std::memcpy(m.Mask, p + n, 3);
    m.MaskIndex = 3;
    n += 3;
    MaskByte(p[n++]);
  }
  return n;
}

void TzorWSFrameReader::FirstByte(uint8_t b) {
  closeCode_ = 0;
  closeReason_.clear();
  current_->Continuation = false;
  switch (b & 0x0F) {
    case 0x0:
      current_ = &message_;
      message_.Continuation = true;
      if (message_.OpCode == opNone)
        return Fail("Unfragmented message after continuation frame with FIN", kCloseProtocolError);
      break;
    case 0x1:
    case 0x2: {
      const bool text = (b & 0x0F) == 0x1;
      if (message_.Fragmented)
        return Fail(text ? "OpCode error, received opText after Continuation not finished"
                         : "OpCode error, received opBinary after Continuation not finished",
                    kCloseProtocolError);
      message_.OpCode = text ? opText : opBinary;
      current_ = &message_;
      break;
    }
    case 0x8:
    case 0x9:
    case 0xA:
      control_.OpCode = (b & 0x0F) == 0x8 ? opClose : (b & 0x0F) == 0x9 ? opPing : opPong;
      current_ = &control_;
      break;
    default:
      return Fail("Invalid Control OptCode", kCloseProtocolError);
  }
  TzorWSMsg& m = *current_;
  m.Fragmented = (b & kFinBit) == 0;
  const bool negotiated = extensions_ && extensions_->ExtensionNegotiated();
  if (!m.Continuation && (b & kRSVBits) && !negotiated)
    return Fail("Invalid value of RSV while no Extension Negotiated", kCloseProtocolError);
  if (!m.Continuation && (m.OpCode == opText || m.OpCode == opBinary) && extensions_) extensions_->DecodeHeader(b);
  if (m.Fragmented && IsControlOpCode(m.OpCode))
    return Fail("Control Message must not be fragmented", kCloseProtocolError);
  m.State = 1;
}

void TzorWSFrameReader::SecondByte(uint8_t b) {
  TzorWSMsg& m = *current_;
  m.ReadMasked = (b & kMaskBit) != 0;
  if (!m.ReadMasked && requireMask_) return Fail("Message is not masked", kCloseProtocolError);
  m.MaskIndex = 0;
  m.PayLoadLength = b & 0x7F;
  if (m.PayLoadLength < 126) {
    m.PayLoad = pa7bits;
    return LengthKnown();
  }
  m.PayLoad = m.PayLoadLength == 126 ? pa16bits : pa64bits;
  if (IsControlOpCode(m.OpCode))
    return Fail("Control frames are only allowed to have payload up to and including 125 octets",
                kCloseProtocolError);
  m.PayLoadLength = 0;
  m.PLState = 0;
  m.State = 2;
}

void TzorWSFrameReader::LengthByte(uint8_t b) {
  TzorWSMsg& m = *current_;
  m.PayLoadLength = (m.PayLoadLength << 8) | b;
  ++m.PLState;
  if (m.PLState == (m.PayLoad == pa16bits ? 2 : 8)) LengthKnown();
}

void TzorWSFrameReader::LengthKnown() {
  TzorWSMsg& m = *current_;
  // Checked before any byte is stored: the length may be up to 2^64 - 1.
  if (m.PayLoadLength > maxMessageSize_ || m.Stream.size() > maxMessageSize_ - m.PayLoadLength)
    return Fail(Format("Message too big: %llu bytes exceed the limit of %llu bytes",
                       static_cast<unsigned long long>(m.Stream.size() + m.PayLoadLength),
                       static_cast<unsigned long long>(maxMessageSize_)),
                kCloseMessageTooBig);
  frameRead_ = 0;
  if (m.ReadMasked)
    m.State = 3;
  else if (m.PayLoadLength == 0)
    FrameComplete();
  else
    m.State = 4;
}

void TzorWSFrameReader::MaskByte(uint8_t b) {
  TzorWSMsg& m = *current_;
  m.Mask[m.MaskIndex] = b;
  if (m.MaskIndex < 3) {
    ++m.MaskIndex;
  } else if (m.PayLoadLength != 0) {
    m.State = 4;
  } else {
    FrameComplete();
  }
}

size_t TzorWSFrameReader::PayloadBytes(const uint8_t* data, size_t size) {
  TzorWSMsg& m = *current_;
  const size_t n = m.PayLoadLength < size ? static_cast<size_t>(m.PayLoadLength) : size;
  const size_t old = m.Stream.size();
  m.Stream.resize(old + n);
  auto* out = reinterpret_cast<uint8_t*>(m.Stream.data()) + old;
  if (m.ReadMasked)
    MaskCopy(out, data, n, m.Mask, static_cast<size_t>(frameRead_ & 3));
  else
    std::memcpy(out, data, n);
  frameRead_ += n;
  m.PayLoadLength -= n;
  if (m.PayLoadLength == 0) FrameComplete();
  return n;
}

void TzorWSFrameReader::FrameComplete() {
  TzorWSMsg& m = *current_;
  if (m.OpCode == opClose) return CloseFrameComplete();
  events_.DoMessageComplete(m);
  if (stopped_) return;
  if (IsControlOpCode(m.OpCode) || !m.Fragmented) {
    m.Clear();
    current_ = &message_;
  } else {
    m.State = 0;
    m.PLState = 0;
  }
}

void TzorWSFrameReader::CloseFrameComplete() {
  const std::string& payload = control_.Stream;
  if (payload.size() == 1) return Fail("Invalid Payload length for close code", kCloseProtocolError);
  if (payload.size() >= 2) {
    closeCode_ = (static_cast<uint8_t>(payload[0]) << 8) | static_cast<uint8_t>(payload[1]);
    if (payload.size() == 2 && !IsCloseCodeAccepted(closeCode_))
      return Fail("Invalid close code", kCloseProtocolError);
    if (payload.size() > 2 && !DecodeTextPayload(std::string_view(payload).substr(2), closeReason_)) return;
  }
  control_.Clear();
  current_ = &message_;
  stopped_ = true;
  events_.DoDisconnect(std::string(), kCloseNormal);
}

}  // namespace zor
