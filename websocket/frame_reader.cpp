#include "websocket/frame_reader.h"

#include "base/format.h"
#include "websocket/extensions.h"
#include "websocket/masking.h"

#include <algorithm>
#include <cstring>

namespace zor {

namespace {

constexpr uint8_t kFinBit = 0x80;
constexpr uint8_t kRSVBits = 0x70;
constexpr uint8_t kMaskBit = 0x80;

bool InRange(uint8_t b, uint8_t low, uint8_t high) { return b >= low && b <= high; }

// The length a sequence starting with `b` must have and the range of its
// second byte (Unicode's table); false when no sequence starts with `b`.
bool SequenceShape(uint8_t b, size_t& n, uint8_t& low, uint8_t& high) {
  low = 0x80;
  high = 0xBF;
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
    return false;
  }
  return true;
}

// True when the `count` bytes after the first fit the sequence's ranges.
bool ContinuationsFit(const uint8_t* p, size_t count, uint8_t low, uint8_t high) {
  if (count >= 1 && !InRange(p[1], low, high)) return false;
  for (size_t i = 2; i <= count; ++i)
    if (!InRange(p[i], 0x80, 0xBF)) return false;
  return true;
}

// Length of the well-formed sequence at p, 0 when it is not.
size_t WellFormedSequence(const uint8_t* p, size_t left) {
  if (p[0] <= 0x7F) return 1;
  size_t n;
  uint8_t low, high;
  if (!SequenceShape(p[0], n, low, high) || left < n || !ContinuationsFit(p, n - 1, low, high)) return 0;
  return n;
}

// True when the `size` bytes at p start a well-formed sequence that more
// bytes would complete.
bool IsCutOffSequence(const uint8_t* p, size_t size) {
  size_t n;
  uint8_t low, high;
  return SequenceShape(p[0], n, low, high) && size < n && ContinuationsFit(p, size - 1, low, high);
}

// Bytes from the start that form whole well-formed sequences; stops at the
// first sequence that is ill-formed or cut off.
size_t WellFormedLength(const uint8_t* p, size_t size) {
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  size_t i = 0;
  while (i < size) {
    // ASCII runs, 32 bytes and then 8 at a time.
    if (i + 32 <= size) {
      uint64_t words[4];
      std::memcpy(words, p + i, sizeof words);
      if (((words[0] | words[1] | words[2] | words[3]) & kHighBits) == 0) {
        i += 32;
        continue;
      }
    }
    if (i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      if ((word & kHighBits) == 0) {
        i += 8;
        continue;
      }
    }
    const size_t n = WellFormedSequence(p + i, size - i);
    if (n == 0) return i;
    i += n;
  }
  return i;
}

bool IsWellFormedUTF8(const uint8_t* p, size_t size) { return WellFormedLength(p, size) == size; }

// The message type of each wire opcode; opNone marks the invalid ones.
constexpr TOpcode kWireOpcodeType[16] = {opContinuation, opText, opBinary, opNone, opNone,  opNone, opNone, opNone,
                                         opClose,        opPing, opPong,   opNone, opNone,  opNone, opNone, opNone};

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

bool IsWellFormedUTF8(std::string_view text) {
  return IsWellFormedUTF8(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

size_t WellFormedUTF8Prefix(std::string_view text, bool& bad) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = WellFormedLength(p, text.size());
  bad = n < text.size() && !IsCutOffSequence(p + n, text.size() - n);
  return n;
}

bool TzorUTF8Stream::Add(std::string_view piece, bool final) {
  size_t used = 0;
  bool bad = false;
  // Complete the carried sequence first, one byte at a time (at most three).
  while (!tail_.empty() && used < piece.size()) {
    tail_.push_back(piece[used++]);
    const size_t whole = WellFormedUTF8Prefix(tail_, bad);
    if (bad) return false;
    if (whole == tail_.size()) tail_.clear();
  }
  if (tail_.empty()) {
    const std::string_view rest = piece.substr(used);
    const size_t whole = WellFormedUTF8Prefix(rest, bad);
    if (bad) return false;
    tail_.assign(rest.substr(whole));
  }
  return !(final && !tail_.empty());
}

bool TzorWSFrameReader::DecodeTextPayload(std::string_view payload, std::string& text) {
  if (!IsWellFormedUTF8(payload)) {
    Fail("Invalid UTF8 message", kCloseInvalidPayload);
    return false;
  }
  text.assign(payload);
  return true;
}

void TzorWSFrameReader::Fail(std::string_view message, int closeCode) {
  stopped_ = true;
  events_.DoDisconnect(std::string(message), closeCode);
}

size_t TzorWSFrameReader::Read(const uint8_t* data, size_t size) {
  size_t pos = 0;
  while (pos < size && !stopped_) {
    const size_t whole = current_->State == 0 ? WholeFrame(data + pos, size - pos) : 0;
    pos += whole != 0 ? whole : Step(data + pos, size - pos);
  }
  return pos;
}

// Out of line, so that the whole-frame loop above keeps its registers.
[[gnu::noinline]] size_t TzorWSFrameReader::Step(const uint8_t* data, size_t size) {
  switch (current_->State) {
    case 0:
      FirstByte(data[0]);
      return 1;
    case 1:
      SecondByte(data[0]);
      return 1;
    case 2:
      LengthByte(data[0]);
      return 1;
    case 3:
      MaskByte(data[0]);
      return 1;
    default:
      return PayloadBytes(data, size);
  }
}

[[gnu::always_inline]] inline size_t TzorWSFrameReader::WholeFrame(const uint8_t* p, size_t available) {
  if (available < 2) return 0;
  const uint8_t b0 = p[0], b1 = p[1];
  const bool masked = (b1 & kMaskBit) != 0;
  const uint8_t length7 = b1 & 0x7F;
  const int lengthBytes = length7 < 126 ? 0 : length7 == 126 ? 2 : 8;
  size_t n = 2 + static_cast<size_t>(lengthBytes);
  if (available < n + (masked ? 4 : 0)) return 0;
  uint64_t length = length7;
  if (lengthBytes != 0) {
    length = 0;
    for (size_t i = 2; i < n; ++i) length = (length << 8) | p[i];
  }
  // Whatever would fail is left to the steps, which report it at its byte.
  const TOpcode type = kWireOpcodeType[b0 & 0x0F];
  if (FirstByteFault(b0) || SecondByteFault(type, b1) ||
      TooBig(IsControlOpCode(type) ? control_ : message_, length))
    return 0;
  BeginFrame(b0);
  TzorWSMsg& m = *current_;
  m.ReadMasked = masked;
  if (masked) {
    std::memcpy(m.Mask, p + n, 4);
    n += 4;
  }
  if (length <= available - n) {  // the whole frame: no step state needed
    AppendPayload(m, p + n, static_cast<size_t>(length), 0);
    FrameComplete();
    return n + static_cast<size_t>(length);
  }
  // The rest of the payload comes with later reads.
  SetLengthForm(m, b1);
  m.PayLoadLength = length;
  m.PLState = lengthBytes;
  m.MaskIndex = masked ? 3 : 0;
  frameRead_ = 0;
  m.State = 4;
  return n + PayloadBytes(p + n, available - n);
}

inline const char* TzorWSFrameReader::FirstByteFault(uint8_t b) const {
  const TOpcode type = kWireOpcodeType[b & 0x0F];
  switch (type) {
    case opContinuation:
      if (message_.OpCode == opNone) return "Unfragmented message after continuation frame with FIN";
      break;
    case opText:
      if (message_.Fragmented) return "OpCode error, received opText after Continuation not finished";
      break;
    case opBinary:
      if (message_.Fragmented) return "OpCode error, received opBinary after Continuation not finished";
      break;
    case opNone:
      return "Invalid Control OptCode";
    default:
      break;
  }
  // A continuation frame's RSV bits are not checked.
  if (type != opContinuation && (b & kRSVBits) && !(extensions_ && extensions_->ExtensionNegotiated()))
    return "Invalid value of RSV while no Extension Negotiated";
  if ((b & kFinBit) == 0 && IsControlOpCode(type)) return "Control Message must not be fragmented";
  return nullptr;
}

inline const char* TzorWSFrameReader::SecondByteFault(TOpcode type, uint8_t b) const {
  if ((b & kMaskBit) == 0 && requireMask_) return "Message is not masked";
  if ((b & 0x7F) >= 126 && IsControlOpCode(type))
    return "Control frames are only allowed to have payload up to and including 125 octets";
  return nullptr;
}

inline bool TzorWSFrameReader::TooBig(const TzorWSMsg& m, uint64_t length) const {
  // The length may be up to 2^64 - 1.
  return length > maxMessageSize_ || m.Stream.size() > maxMessageSize_ - length;
}

inline void TzorWSFrameReader::BeginFrame(uint8_t b) {
  closeCode_.store(0, std::memory_order_relaxed);
  if (!closeReason_.empty()) SetCloseReason({});
  current_->Continuation = false;
  const TOpcode type = kWireOpcodeType[b & 0x0F];
  // Control frames have their own object, so that a data message's partial
  // content survives them.
  TzorWSMsg& m = IsControlOpCode(type) ? control_ : message_;
  if (type == opContinuation)
    m.Continuation = true;
  else
    m.OpCode = type;
  m.Fragmented = (b & kFinBit) == 0;
  // Only a message's first frame says whether it is compressed.
  if ((type == opText || type == opBinary) && extensions_) extensions_->DecodeHeader(b);
  current_ = &m;
}

inline void TzorWSFrameReader::SetLengthForm(TzorWSMsg& m, uint8_t b) {
  m.ReadMasked = (b & kMaskBit) != 0;
  m.MaskIndex = 0;
  const uint8_t length7 = b & 0x7F;
  m.PayLoad = length7 < 126 ? pa7bits : length7 == 126 ? pa16bits : pa64bits;
}

void TzorWSFrameReader::FirstByte(uint8_t b) {
  if (const char* fault = FirstByteFault(b)) {
    closeCode_.store(0, std::memory_order_relaxed);
    SetCloseReason({});
    return Fail(fault, kCloseProtocolError);
  }
  BeginFrame(b);
  current_->State = 1;
}

void TzorWSFrameReader::SecondByte(uint8_t b) {
  TzorWSMsg& m = *current_;
  if (const char* fault = SecondByteFault(m.OpCode, b)) return Fail(fault, kCloseProtocolError);
  SetLengthForm(m, b);
  m.PayLoadLength = b & 0x7F;
  if (m.PayLoad == pa7bits) return LengthKnown();
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
  if (TooBig(m, m.PayLoadLength)) return FailTooBig(m.Stream.size() + m.PayLoadLength);
  frameRead_ = 0;
  if (m.ReadMasked)
    m.State = 3;
  else if (m.PayLoadLength == 0)
    FrameComplete();
  else
    m.State = 4;
}

void TzorWSFrameReader::FailTooBig(uint64_t size) {
  Fail(Format("Message too big: %llu bytes exceed the limit of %llu bytes", static_cast<unsigned long long>(size),
              static_cast<unsigned long long>(maxMessageSize_)),
       kCloseMessageTooBig);
}

void TzorWSFrameReader::MaskByte(uint8_t b) {
  TzorWSMsg& m = *current_;
  m.Mask[m.MaskIndex] = b;
  if (m.MaskIndex < 3)
    ++m.MaskIndex;
  else if (m.PayLoadLength != 0)
    m.State = 4;
  else
    FrameComplete();
}

inline size_t TzorWSFrameReader::PayloadBytes(const uint8_t* data, size_t size) {
  TzorWSMsg& m = *current_;
  const size_t n = m.PayLoadLength < size ? static_cast<size_t>(m.PayLoadLength) : size;
  const size_t old = m.Stream.size();
  // A message whose first frame arrives in pieces gets its room at once (up to
  // the capacity a message object keeps), rather than regrowing per read.
  if (frameRead_ == 0 && old == 0 && n < m.PayLoadLength)
    m.Stream.reserve(static_cast<size_t>(std::min<uint64_t>(m.PayLoadLength, TzorWSMsg::kKeptBufferCapacity)));
  AppendPayload(m, data, n, static_cast<size_t>(frameRead_ & 3));
  frameRead_ += n;
  m.PayLoadLength -= n;
  if (m.PayLoadLength == 0) FrameComplete();
  return n;
}

[[gnu::always_inline]] inline void TzorWSFrameReader::AppendPayload(TzorWSMsg& m, const uint8_t* data, size_t n, size_t keyIndex) {
  if (!m.ReadMasked) {
    m.Stream.append(reinterpret_cast<const char*>(data), n);
    return;
  }
  // Sized first, then filled by one masked copy. Unmasking the appended bytes
  // in place would read back fresh stores of another width, which stalls.
  const size_t old = m.Stream.size();
  m.Stream.resize(old + n);
  MaskCopy(reinterpret_cast<uint8_t*>(m.Stream.data()) + old, data, n, m.Mask, keyIndex);
}

[[gnu::always_inline]] inline void TzorWSFrameReader::FrameComplete() {
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

std::string TzorWSFrameReader::CloseReason() const {
  std::lock_guard guard(closeReasonLock_);
  return closeReason_;
}

void TzorWSFrameReader::SetCloseReason(std::string reason) {
  std::lock_guard guard(closeReasonLock_);
  closeReason_ = std::move(reason);
}

void TzorWSFrameReader::CloseFrameComplete() {
  const std::string& payload = control_.Stream;
  if (payload.size() == 1) return Fail("Invalid Payload length for close code", kCloseProtocolError);
  if (payload.size() >= 2) {
    const int code = (static_cast<uint8_t>(payload[0]) << 8) | static_cast<uint8_t>(payload[1]);
    closeCode_.store(code, std::memory_order_relaxed);
    if (payload.size() == 2 && !IsCloseCodeAccepted(code)) return Fail("Invalid close code", kCloseProtocolError);
    if (payload.size() > 2) {
      std::string reason;
      const bool decoded = DecodeTextPayload(std::string_view(payload).substr(2), reason);
      SetCloseReason(std::move(reason));
      if (!decoded) return;
    }
  }
  control_.Clear();
  current_ = &message_;
  stopped_ = true;
  events_.DoDisconnect(std::string(), kCloseNormal);
}

}  // namespace zor
