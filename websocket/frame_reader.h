#pragma once
// RFC 6455 frame reader: a state machine fed from the connection's input
// buffer. It resumes at any byte, so headers, lengths, keys and payloads may be
// split over any number of reads; a frame whose header is all in the buffer is
// decoded in one go. It never touches a socket.
#include "websocket/ws_types.h"

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

namespace zor {

class TzorWSExtensions;

// The reader's state for one message and the frame being read.
class TzorWSMsg {
 public:
  bool Continuation = false;  // the frame being read is a continuation frame
  bool Fragmented = false;    // its FIN bit is clear: more frames follow
  int32_t MaskIndex = 0;      // next key byte to read (0..3)
  TOpcode OpCode = opNone;    // the message's type, also while reading its continuations
  TPayload PayLoad = pa7bits;
  uint64_t PayLoadLength = 0;  // payload bytes of the frame still to read
  int32_t PLState = 0;         // extended-length bytes read so far
  bool ReadMasked = false;
  int32_t State = 0;  // 0 first byte, 1 second byte, 2 extended length, 3 key, 4 payload
  // The message's payload so far, unmasked; frames of a fragmented message
  // append to it.
  std::string Stream;
  uint8_t Mask[4] = {};

  // Back to "no message"; keeps the payload buffer's memory unless it is large.
  void Clear() {
    if (Stream.capacity() > kKeptBufferCapacity)
      std::string().swap(Stream);
    else
      Stream.clear();
    Continuation = Fragmented = ReadMasked = false;
    MaskIndex = PLState = State = 0;
    PayLoadLength = 0;
    PayLoad = pa7bits;
    OpCode = opNone;
  }

  static constexpr size_t kKeptBufferCapacity = 1 << 20;
};

// What the reader hands to its owner (the connection).
class TzorWSFrameEvents {
 public:
  virtual ~TzorWSFrameEvents() = default;
  // A data, ping or pong frame is complete; msg.Stream holds the message so
  // far (all earlier fragments included unless the owner took them out).
  // After it returns, a final frame's message is cleared and a fragment's
  // state is reset for the next frame.
  virtual void DoMessageComplete(TzorWSMsg& msg) = 0;
  // A protocol failure (message and close code) or a close received (empty
  // message, code 1000). The reader stops; it may throw.
  virtual void DoDisconnect(const std::string& message, int closeCode) = 0;
};

// True when the payload is well-formed UTF-8 (or `validate` is off, or the
// payload is empty). A lone F4 as the last byte is accepted.
bool ValidateUTF8Payload(std::string_view payload, bool validate = true);
// True when every byte belongs to a well-formed UTF-8 sequence: what a whole
// text message and a close reason must be.
bool IsWellFormedUTF8(std::string_view text);
// The length of the longest start of `text` made of whole well-formed
// sequences. `bad` is set when a byte there can start no well-formed text;
// a sequence merely cut off by the end is not bad (more bytes may complete it).
size_t WellFormedUTF8Prefix(std::string_view text, bool& bad);

// Checks a text that arrives in pieces (the frames of a message): each byte
// is looked at once, and a sequence cut off at the end of a piece is
// completed by the next one.
class TzorUTF8Stream {
 public:
  // False once the text can no longer be well-formed UTF-8; with `final`,
  // also when it ends inside a sequence.
  bool Add(std::string_view piece, bool final);
  void Reset() { tail_.clear(); }

 private:
  std::string tail_;  // the start of a sequence cut off by the last piece
};

// RFC 6455 frame reader fed from the connection's input buffer.
class TzorWSFrameReader {
 public:
  // `extensions` may be null (none negotiated); neither object is owned.
  TzorWSFrameReader(TzorWSFrameEvents& events, TzorWSExtensions* extensions)
      : events_(events), extensions_(extensions) {}

  // Server connections require masked frames, clients do not.
  bool RequireMask() const { return requireMask_; }
  void SetRequireMask(bool value) { requireMask_ = value; }
  bool ValidateUTF8() const { return validateUTF8_; }
  void SetValidateUTF8(bool value) { validateUTF8_ = value; }
  // A frame or fragmented message above this size fails with 1009.
  uint64_t MaxMessageSize() const { return maxMessageSize_; }
  void SetMaxMessageSize(uint64_t value) { maxMessageSize_ = value; }

  // Consumes bytes until they run out or the reader stops (failure or close);
  // returns the number consumed.
  size_t Read(const uint8_t* data, size_t size);
  bool Stopped() const { return stopped_; }
  // No frame is partly read.
  bool BetweenFrames() const { return current_->State == 0; }
  // The owner closed the connection: nothing more is read.
  void Stop() { stopped_ = true; }

  // The close code and reason of the last close frame (0 and empty
  // otherwise); any thread may ask while another one reads.
  int CloseCode() const { return closeCode_.load(std::memory_order_relaxed); }
  std::string CloseReason() const;

  // The payload as text; fails with 1007 "Invalid UTF8 message" when it is
  // not well-formed UTF-8, whatever ValidateUTF8 says (that switch only makes
  // the connection check each fragment as it arrives).
  bool DecodeTextPayload(std::string_view payload, std::string& text);

  TzorWSMsg& WSMessage() { return message_; }
  TzorWSMsg& WSControlCode() { return control_; }

 private:
  // A frame whose whole header is at hand and passes every check, decoded in
  // one go, with as much of its payload as is at hand; returns the bytes
  // consumed, 0 when the frame is left to the byte-by-byte steps below.
  size_t WholeFrame(const uint8_t* p, size_t available);
  // The checks of a frame's first and second byte: the failure message, or null.
  const char* FirstByteFault(uint8_t b) const;
  const char* SecondByteFault(TOpcode type, uint8_t b) const;
  bool TooBig(const TzorWSMsg& m, uint64_t length) const;
  // What a frame's first byte and the form of its second set up.
  void BeginFrame(uint8_t b);
  static void SetLengthForm(TzorWSMsg& m, uint8_t b);
  // One step of the byte-resumable reader: a header byte, or payload bytes.
  size_t Step(const uint8_t* data, size_t size);
  void FirstByte(uint8_t b);
  void SecondByte(uint8_t b);
  void LengthByte(uint8_t b);
  void MaskByte(uint8_t b);
  size_t PayloadBytes(const uint8_t* data, size_t size);
  // The next `n` payload bytes of the frame, unmasked from key byte
  // `keyIndex` on, onto the message.
  void AppendPayload(TzorWSMsg& m, const uint8_t* data, size_t n, size_t keyIndex);
  void LengthKnown();
  void FrameComplete();
  void CloseFrameComplete();
  void SetCloseReason(std::string reason);
  // Failures are rare: kept out of line, off the path of every frame.
  [[gnu::cold]] void Fail(std::string_view message, int closeCode);
  [[gnu::cold]] void FailTooBig(uint64_t size);

  TzorWSFrameEvents& events_;
  TzorWSExtensions* extensions_;
  bool requireMask_ = false;
  bool validateUTF8_ = false;
  bool stopped_ = false;
  uint64_t maxMessageSize_ = kDefaultMaxMessageSize;
  uint64_t frameRead_ = 0;  // payload bytes of the current frame read so far
  // Written by the reading thread only; read by any.
  std::atomic<int> closeCode_{0};
  mutable std::mutex closeReasonLock_;
  std::string closeReason_;
  TzorWSMsg message_;   // text, binary and their continuations
  TzorWSMsg control_;   // close, ping, pong (may arrive between fragments)
  TzorWSMsg* current_ = &message_;
};

}  // namespace zor
