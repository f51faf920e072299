#pragma once
// RFC 6455 frame writer (and the legacy Hixie-76 text framing). Sans-IO: every
// frame is assembled once and handed whole to a sink; the connection's sink
// does the locking and the transport write.
#include "websocket/masking.h"
#include "websocket/ws_types.h"

#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace zor {

class TzorWSExtensions;

// A frame as its header and its payload, which is masked on the way with
// `key` when that is set.
struct TzorWSFrameParts {
  std::span<const uint8_t> header;
  std::string_view payload;
  const uint8_t* key = nullptr;

  size_t Size() const { return header.size() + payload.size(); }
  // Writes the whole frame, Size() bytes, to `out`.
  void CopyTo(uint8_t* out) const {
    if (!header.empty()) std::memcpy(out, header.data(), header.size());
    out += header.size();
    const auto* in = reinterpret_cast<const uint8_t*>(payload.data());
    if (key)
      MaskCopy(out, in, payload.size(), key);
    else if (!payload.empty())
      std::memcpy(out, in, payload.size());
  }
};

// Where the frame writer hands its frames.
class TzorWSFrameSink {
 public:
  virtual ~TzorWSFrameSink() = default;
  // Held around each frame and each compression step, so that frames of
  // concurrent writers never interleave and the deflate context stays whole.
  // A sink whose callers already hold a lock of their own around every
  // writer call leaves it empty.
  virtual void Lock() {}
  virtual void Unlock() {}
  // One whole frame, written at once. Failures are thrown as they are; the
  // writer reports them as "Error writing message %s.".
  virtual void WriteFrame(const uint8_t* data, size_t size) = 0;
  // A sink with a buffer of its own assembles the frame there, saving a
  // copy; false leaves it to the writer, which hands it to WriteFrame.
  virtual bool AssembleFrame(const TzorWSFrameParts&) { return false; }
};

// Holds a sink's lock for a scope.
class TzorWSSinkLock {
 public:
  explicit TzorWSSinkLock(TzorWSFrameSink& sink) : sink_(sink) { sink_.Lock(); }
  ~TzorWSSinkLock() { sink_.Unlock(); }
  TzorWSSinkLock(const TzorWSSinkLock&) = delete;
  TzorWSSinkLock& operator=(const TzorWSSinkLock&) = delete;

 private:
  TzorWSFrameSink& sink_;
};

// Writes the first two header bytes, the extended length and the key (when
// `key` is set) for a payload of `length` bytes; returns the header size (2..14).
inline size_t EncodeFrameHeader(uint8_t* out, uint8_t firstByte, uint64_t length, const uint8_t* key) {
  const uint8_t mask = key ? 0x80 : 0;
  out[0] = firstByte;
  size_t n;
  if (length < 126) {
    out[1] = static_cast<uint8_t>(mask | length);
    n = 2;
  } else if (length <= 0xFFFF) {
    out[1] = mask | 126;
    out[2] = static_cast<uint8_t>(length >> 8);
    out[3] = static_cast<uint8_t>(length);
    n = 4;
  } else {
    out[1] = mask | 127;
    for (int i = 0; i < 8; ++i) out[2 + i] = static_cast<uint8_t>(length >> (56 - 8 * i));
    n = 10;
  }
  if (key) {
    std::memcpy(out + n, key, 4);
    n += 4;
  }
  return n;
}

// FIN plus opcode, FIN left out when `fragment` (more frames follow).
inline uint8_t GetFrameFirstByte(TOpcode op, bool fragment) {
  return static_cast<uint8_t>(kOpcodeWireValue[op] | (fragment ? 0 : 0x80));
}

// RFC 6455 frame writer.
class TzorWSFrameWriter {
 public:
  // `extensions` may be null (no compression); neither object is owned.
  TzorWSFrameWriter(TzorWSFrameSink& sink, TzorWSExtensions* extensions) : sink_(sink), extensions_(extensions) {}

  bool Masked() const { return masked_; }
  void SetMasked(bool value) { masked_ = value; }
  TwsSpecification Specification() const { return specification_; }
  void SetSpecification(TwsSpecification value) { specification_ = value; }

  // One message or one streamed piece. `size` above 0 splits a longer message
  // into frames of `size` bytes; for text the length compared with it is
  // counted in UTF-16 units. `compressed`: the bytes were already compressed as
  // a whole by the caller, so they are framed as they are with RSV1 on the
  // message's first frame.
  void DoWriteText(std::string_view utf8, int size, TwsStreaming streaming);
  void DoWriteStream(std::string_view bytes, int size, TwsStreaming streaming, bool compressed = false);

  // One frame. A final frame that starts a text or binary message is
  // compressed when an extension is active (and then carries RSV1).
  void WriteTextFrame(std::string_view utf8, TOpcode op, bool fragment) { WriteStreamFrame(utf8, op, fragment); }
  void WriteStreamFrame(std::string_view bytes, TOpcode op, bool fragment, bool compressed = false);

  // One message longer than `size` split into frames of `size` bytes; the
  // first is `op` unless `continueMessage`, the others continuation frames,
  // the last one final.
  void WriteTextFragments(std::string_view utf8, TOpcode op, bool continueMessage, int size) {
    WriteStreamFragments(utf8, op, continueMessage, size);
  }
  void WriteStreamFragments(std::string_view bytes, TOpcode op, bool continueMessage, int size,
                            bool compressed = false);

  // The close frame: the code as 2 bytes big-endian, no payload when negative.
  // Nothing is sent on a Hixie-76 connection.
  void WriteCloseFrame(int closeCode);
  // 0x00, the UTF-8 bytes, 0xFF in one write.
  void WriteHixie76(std::string_view utf8);

 private:
  void WriteMessage(std::string_view bytes, size_t measuredLength, TOpcode op, int size, TwsStreaming streaming,
                    bool compressed);
  // Assembles and writes one frame; the caller holds the sink's lock.
  void WriteAssembled(uint8_t firstByte, std::string_view payload);
  void SendFrame();

  TzorWSFrameSink& sink_;
  TzorWSExtensions* extensions_;
  bool masked_ = false;
  TwsSpecification specification_ = spRFC6455;
  TzorWSKeyBytes keys_;
  std::string frame_;       // reused under the sink's lock, for sinks that do not assemble
  std::string compressed_;  // likewise
};

}  // namespace zor
