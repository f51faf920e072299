#pragma once
// TzorHTTP2_Frame: the reader and writer of one direction of one connection.
// Bytes go in through ReadBytes; every complete frame is checked, read into
// its per-type object and handed on; header blocks are joined from HEADERS or
// PUSH_PROMISE and their CONTINUATION frames before they are decoded.
#include "http2/frames.h"

#include <atomic>
#include <functional>
#include <memory>
#include <span>

namespace zor {

enum TzorHTTP2ReadState : uint8_t { h2rsHeader, h2rsPayload, h2rsHeaderWait, h2rsPayloadWait };

// The header fields of the frame read last.
struct TzorHTTP2_Frame_Record {
  Th2FrameType FrameType = h2ftUNKNOWN;
  int32_t StreamIdentifier = 0;
  bool EndHeaders = false;
};

class TzorHTTP2_Frame;
template <class FrameClass>
using TzorHTTP2ReadFrameEvent = std::function<void(TzorHTTP2_Frame& sender, FrameClass& frame)>;
using TzorHTTP2WriteBytesEvent = std::function<void(TzorHTTP2_Frame& sender, std::span<const uint8_t> bytes)>;
using TzorHTTP2ReadFrameDataEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_Data>;
using TzorHTTP2ReadFrameHeadersEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_Headers>;
using TzorHTTP2ReadFramePriorityEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_Priority>;
using TzorHTTP2ReadFrameSettingsEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_Settings>;
using TzorHTTP2ReadFramePushPromiseEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_PushPromise>;
using TzorHTTP2ReadFramePingEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_Ping>;
using TzorHTTP2ReadFrameGoAwayEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_GoAway>;
using TzorHTTP2ReadFrameWindowUpdateEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_WindowUpdate>;
using TzorHTTP2ReadFrameRSTStreamEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_RSTStream>;
using TzorHTTP2ReadFrameContinuationEvent = TzorHTTP2ReadFrameEvent<TzorHTTP2_Frame_Continuation>;

// Reader and writer of the HTTP/2 frames of one direction of a connection.
class TzorHTTP2_Frame {
 public:
  explicit TzorHTTP2_Frame(Th2FrameRole role = h2frServerRead);
  virtual ~TzorHTTP2_Frame();
  TzorHTTP2_Frame(const TzorHTTP2_Frame&) = delete;
  TzorHTTP2_Frame& operator=(const TzorHTTP2_Frame&) = delete;

  // Feeds received bytes; every complete frame is handled before the call
  // returns, the rest stays buffered. A TzorHTTP2Exception leaves the reader
  // after the frame that raised it: after a stream error, calling ReadBytes
  // (with no bytes) goes on with the frames already buffered.
  void ReadBytes(std::span<const uint8_t> bytes);
  // Writes the per-type object of FrameType when it is HEADERS, RST_STREAM,
  // PING or GOAWAY.
  void WriteBytes();

  TzorHTTP2_StreamIdentifierCounter& StreamIdentifierCounter();
  TzorHTTP2_HPACK& HPACK();
  TzorHTTP2_Frame_Continuation& Frame_Continuation();
  TzorHTTP2_Frame_Data& Frame_Data();
  TzorHTTP2_Frame_GoAway& Frame_GoAway();
  TzorHTTP2_Frame_Headers& Frame_Headers();
  TzorHTTP2_Frame_Ping& Frame_Ping();
  TzorHTTP2_Frame_Priority& Frame_Priority();
  TzorHTTP2_Frame_PushPromise& Frame_PushPromise();
  TzorHTTP2_Frame_RSTStream& Frame_RSTStream();
  TzorHTTP2_Frame_Settings& Frame_Settings();
  TzorHTTP2_Frame_WindowUpdate& Frame_WindowUpdate();

  Th2FrameRole FrameRole() const { return FFrameRole; }
  // Only before the first per-type object, the counter or the coder is made.
  void SetFrameRole(Th2FrameRole role) { FFrameRole = role; }
  Th2FrameType FrameType() const { return FFrameType; }
  void SetFrameType(Th2FrameType type) { FFrameType = type; }
  int32_t FrameLength() const { return FFrameLength; }
  int32_t StreamIdentifier() const { return FStreamIdentifier; }
  int32_t LastStreamIdentifierRecv() const { return FLastStreamIdentifierRecv; }
  const TzorHTTP2_Frame_Record& LastFrame() const { return FLastFrame; }
  TzorHTTP2ReadState ReadState() const { return FReadState; }
  // Largest payload accepted (what this side announced as MAX_FRAME_SIZE).
  uint32_t MaxFrameSize() const { return FMaxFrameSize; }
  void SetMaxFrameSize(uint32_t size) { FMaxFrameSize = size; }
  uint32_t MinFrameSize() const { return FMinFrameSize; }
  // Whether a CONNECT request may name a protocol (what this side announced
  // as ENABLE_CONNECT_PROTOCOL).
  void SetEnableConnectProtocol(bool value) { FEnableConnectProtocol = value; }
  uint32_t MaxConcurrentStreams() const { return FMaxConcurrentStreams; }
  void SetMaxConcurrentStreams(uint32_t count) { FMaxConcurrentStreams = count; }

  // The one stream recorded as closed; DATA and HEADERS on it are refused.
  void AddClosedStream(int32_t streamIdentifier) { FClosedStream = streamIdentifier; }
  bool IsClosedStream(int32_t streamIdentifier) const { return FClosedStream != 0 && FClosedStream == streamIdentifier; }

  TzorHTTP2WriteBytesEvent OnWriteBytes;
  TzorHTTP2ReadFrameDataEvent OnReadFrameData;
  TzorHTTP2ReadFrameHeadersEvent OnReadFrameHeaders;
  TzorHTTP2ReadFramePriorityEvent OnReadFramePriority;
  TzorHTTP2ReadFrameSettingsEvent OnReadFrameSettings;
  TzorHTTP2ReadFramePushPromiseEvent OnReadFramePushPromise;
  TzorHTTP2ReadFramePingEvent OnReadFramePing;
  TzorHTTP2ReadFrameGoAwayEvent OnReadFrameGoAway;
  TzorHTTP2ReadFrameWindowUpdateEvent OnReadFrameWindowUpdate;
  TzorHTTP2ReadFrameRSTStreamEvent OnReadFrameRSTStream;
  TzorHTTP2ReadFrameContinuationEvent OnReadFrameContinuation;

 protected:
  virtual void ResetFrame();
  // A complete payload of a known type: read into its object and dispatched.
  virtual void DoHandlePayload(std::span<const uint8_t> payload);
  // Whether a stream is open, so that a HEADERS frame on an identifier below
  // the last one received is a trailer rather than a reused identifier. The
  // stream bookkeeping knows; the frame layer alone knows of no open stream.
  virtual bool IsOpenStream(int32_t) const { return false; }
  virtual void DoWriteBytes(std::span<const uint8_t> bytes);
  virtual void DoReadFrameData();
  virtual void DoReadFrameHeaders();
  virtual void DoReadFrameRSTStream();
  virtual void DoReadFrameSettings();
  virtual void DoReadFramePushPromise();
  virtual void DoReadFramePing();
  virtual void DoReadFrameGoAway();
  virtual void DoReadFrameWindowUpdate();
  virtual void DoReadFrameContinuation();
  void DoReadFramePriority();

 private:
  void ProcessFrameHeader(const uint8_t* header);
  void CheckStreamIdentifier(Th2FrameType type);
  void CheckHeaderBlockSequence(Th2FrameType type, uint8_t flags);
  // Reads frame headers and payloads from `bytes` while they are complete;
  // `used` counts the octets taken, each frame's before it is handled.
  void DoReadFrame(std::span<const uint8_t> bytes, size_t& used);
  template <class FrameClass>
  FrameClass& Make(std::unique_ptr<FrameClass>& frame);
  template <class FrameClass>
  FrameClass& MakeHeaderBlockFrame(std::unique_ptr<FrameClass>& frame);

  std::unique_ptr<TzorHTTP2_StreamIdentifierCounter> FStreamIdentifierCounter;
  std::unique_ptr<TzorHTTP2_HPACK> FHPACK;
  std::atomic<int32_t> FClosedStream = 0;  // set by whichever thread closes it
  TzorHTTP2_Frame_Record FLastFrame;
  TzorByteBuffer FReadBuffer;
  TzorHTTP2ReadState FReadState = h2rsHeader;
  std::unique_ptr<TzorHTTP2_Frame_Continuation> FFrame_Continuation;
  std::unique_ptr<TzorHTTP2_Frame_Data> FFrame_Data;
  std::unique_ptr<TzorHTTP2_Frame_GoAway> FFrame_GoAway;
  std::unique_ptr<TzorHTTP2_Frame_Headers> FFrame_Headers;
  std::unique_ptr<TzorHTTP2_Frame_Ping> FFrame_Ping;
  std::unique_ptr<TzorHTTP2_Frame_Priority> FFrame_Priority;
  std::unique_ptr<TzorHTTP2_Frame_PushPromise> FFrame_PushPromise;
  std::unique_ptr<TzorHTTP2_Frame_RSTStream> FFrame_RSTStream;
  std::unique_ptr<TzorHTTP2_Frame_Settings> FFrame_Settings;
  std::unique_ptr<TzorHTTP2_Frame_WindowUpdate> FFrame_WindowUpdate;
  Th2FrameType FFrameType = h2ftUNKNOWN;
  int32_t FFrameLength = 0;
  uint32_t FMaxFrameSize = h2DefaultMaxFrameSize;
  uint32_t FMinFrameSize = h2DefaultMaxFrameSize;
  int32_t FStreamIdentifier = 0;
  int32_t FLastStreamIdentifierRecv = 0;
  Th2FrameRole FFrameRole;
  uint32_t FMaxConcurrentStreams = 2147483647;
  bool FEnableConnectProtocol = false;
  // The header block being joined (HEADERS or PUSH_PROMISE), while open.
  TzorHTTP2_Frame_HPACK_Base* FOpenHeaderBlock = nullptr;
};

}  // namespace zor
