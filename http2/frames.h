#pragma once
// One class per HTTP/2 frame type: reading a payload into fields, writing the
// fields as frames.
#include "base/bytes.h"
#include "base/streams.h"
#include "http2/frame_base.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zor {

// An HTTP/2 DATA frame.
class TzorHTTP2_Frame_Data : public TzorHTTP2_Frame_Base {
 public:
  using TzorHTTP2_Frame_Base::TzorHTTP2_Frame_Base;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Data"; }
  Th2FrameType FrameType() const override { return h2ftDATA; }
  // END_STREAM, PADDED, the stream identifier and a copy of the content.
  void Assign(const TPersistent& source) override;

  // Sends the content from where the previous call stopped, at most `limit`
  // octets (0: all), END_STREAM on the last frame when set. Returns the
  // octets left. Written frames are never padded.
  int64_t WriteData(int64_t limit);
  // The whole stream from position 0 becomes the content; END_STREAM is set.
  void SetStream(TzorStringStream& stream);
  // The content as UTF-8 text.
  std::string DataString() const;

  const TBytes& Data() const { return FData; }
  void SetData(TBytes data) { FData = std::move(data); }
  bool EndStream() const { return FEndStream; }
  void SetEndStream(bool value) { FEndStream = value; }
  bool Padded() const { return FPadded; }
  uint32_t PadLength() const { return FPadLength; }
  int32_t StreamIdentifierRequest() const { return FStreamIdentifierRequest; }
  void SetStreamIdentifierRequest(int32_t identifier) { FStreamIdentifierRequest = identifier; }
  // Octets of the content already sent by WriteData.
  int32_t Offset() const { return FOffset; }

  // Writing a DATA object hands it here (the flow-controlled queue); without
  // a handler the content is sent at once.
  std::function<void(TzorHTTP2_Frame_Data& sender)> OnWriteDataFrame;

 protected:
  void DoClearFlags() override { FEndStream = FPadded = false; }
  void DoClear() override;
  void DoReadFlags(uint8_t flags) override;
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  TBytes FData;
  bool FEndStream = false;
  bool FPadded = false;
  uint32_t FPadLength = 0;
  int32_t FStreamIdentifierRequest = 0;
};

// An HTTP/2 HEADERS frame.
class TzorHTTP2_Frame_Headers : public TzorHTTP2_Frame_HPACK_Base {
 public:
  using TzorHTTP2_Frame_HPACK_Base::TzorHTTP2_Frame_HPACK_Base;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Headers"; }
  Th2FrameType FrameType() const override { return h2ftHEADERS; }
  // The four flags.
  void Assign(const TPersistent& source) override;

  bool EndStream() const { return FEndStream; }
  void SetEndStream(bool value) { FEndStream = value; }
  bool Padded() const { return FPadded; }
  bool Priority() const { return FPriority; }
  uint32_t PadLength() const { return FPadLength; }
  uint32_t StreamDependency() const { return FStreamDependency; }
  uint32_t Weight() const { return FWeight; }

  // Looked up in the decoded list.
  int Status() const;  // 0 when absent or not a number
  std::string Method() const;
  std::string Location() const;
  std::string ContentType() const;
  std::string Charset() const;  // the charset parameter, quotes removed
  int64_t ContentLength() const;  // 0 when absent or not a number

 protected:
  void DoClearFlags() override { FEndHeaders = FEndStream = FPadded = FPriority = false; }
  void DoClear() override;
  void DoReadFlags(uint8_t flags) override;
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  // The block of the list, on this object's stream or on a new one from the
  // counter when it is 0; sent frames carry neither padding nor priority.
  void DoWriteBytes() override;
  void DoValidateHeaders() override;

 private:
  std::string Text(std::string_view name) const;

  bool FEndStream = false;
  bool FPadded = false;
  bool FPriority = false;
  uint32_t FPadLength = 0;
  uint32_t FStreamDependency = 0;
  uint32_t FWeight = 0;
};

// An HTTP/2 PUSH_PROMISE frame.
class TzorHTTP2_Frame_PushPromise : public TzorHTTP2_Frame_HPACK_Base {
 public:
  using TzorHTTP2_Frame_HPACK_Base::TzorHTTP2_Frame_HPACK_Base;
  const char* ClassName() const override { return "TzorHTTP2_Frame_PushPromise"; }
  Th2FrameType FrameType() const override { return h2ftPUSH_PROMISE; }
  // END_HEADERS and PADDED.
  void Assign(const TPersistent& source) override;

  bool Padded() const { return FPadded; }
  uint32_t PadLength() const { return FPadLength; }
  int32_t PromisedStreamid() const { return FPromisedStreamid; }
  std::string URL() const;
  Th2Methods Method() const;  // h2meHead when absent or unknown

  // Asked for the promised stream when writing (0 without a handler).
  std::function<void(TzorHTTP2_Frame_PushPromise& sender, int32_t& promisedStreamId)> OnRequestPromisedStreamId;

 protected:
  void DoClearFlags() override { FEndHeaders = FPadded = false; }
  void DoClear() override;
  void DoReadFlags(uint8_t flags) override;
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  bool FPadded = false;
  uint32_t FPadLength = 0;
  int32_t FPromisedStreamid = 0;
};

// An HTTP/2 CONTINUATION frame.
class TzorHTTP2_Frame_Continuation : public TzorHTTP2_Frame_Base {
 public:
  using TzorHTTP2_Frame_Base::TzorHTTP2_Frame_Base;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Continuation"; }
  Th2FrameType FrameType() const override { return h2ftCONTINUATION; }
  // END_HEADERS.
  void Assign(const TPersistent& source) override;

  bool EndHeaders() const { return FEndHeaders; }
  const TBytes& PayLoad() const { return FPayLoad; }

 protected:
  void DoClearFlags() override { FEndHeaders = false; }
  void DoClear() override { FPayLoad.clear(); }
  void DoReadFlags(uint8_t flags) override { FEndHeaders = flags & h2flags::END_HEADERS; }
  void DoReadPayload(std::span<const uint8_t> payload) override { FPayLoad.assign(payload.begin(), payload.end()); }
  void DoCheckPayload(std::span<const uint8_t>) override {}
  // Header blocks write their own CONTINUATION frames.
  void DoWriteBytes() override {}

 private:
  bool FEndHeaders = false;
  TBytes FPayLoad;
};

// An HTTP/2 PRIORITY frame.
class TzorHTTP2_Frame_Priority : public TzorHTTP2_Frame_Base {
 public:
  using TzorHTTP2_Frame_Base::TzorHTTP2_Frame_Base;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Priority"; }
  Th2FrameType FrameType() const override { return h2ftPRIORITY; }
  void Assign(const TPersistent& source) override;

  uint32_t StreamDependency() const { return FStreamDependency; }
  uint32_t Weight() const { return FWeight; }

 protected:
  void DoClearFlags() override {}
  void DoClear() override { FStreamDependency = FWeight = 0; }
  void DoReadFlags(uint8_t) override {}
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  // Priorities are advisory; this side sends none.
  void DoWriteBytes() override {}

 private:
  uint32_t FStreamDependency = 0;
  uint32_t FWeight = 0;
};

// An HTTP/2 RST_STREAM frame.
class TzorHTTP2_Frame_RSTStream : public TzorHTTP2_Frame_Base {
 public:
  using TzorHTTP2_Frame_Base::TzorHTTP2_Frame_Base;
  const char* ClassName() const override { return "TzorHTTP2_Frame_RSTStream"; }
  Th2FrameType FrameType() const override { return h2ftRST_STREAM; }
  void Assign(const TPersistent& source) override;

  Th2ErrorCodes ErrorCode() const { return FErrorCode; }
  void SetErrorCode(Th2ErrorCodes code) { FErrorCode = code; }

 protected:
  void DoClearFlags() override {}
  void DoClear() override { FErrorCode = h2erNO_ERROR; }
  void DoReadFlags(uint8_t) override {}
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  Th2ErrorCodes FErrorCode = h2erNO_ERROR;
};

// An HTTP/2 SETTINGS frame.
class TzorHTTP2_Frame_Settings : public TzorHTTP2_Frame_Base {
 public:
  explicit TzorHTTP2_Frame_Settings(Th2FrameRole role) : TzorHTTP2_Frame_Base(role) {}
  const char* ClassName() const override { return "TzorHTTP2_Frame_Settings"; }
  Th2FrameType FrameType() const override { return h2ftSETTINGS; }
  // ACK and every value.
  void Assign(const TPersistent& source) override;

  bool ACK() const { return FACK; }
  void SetACK(bool value) { FACK = value; }
  bool EnableConnectProtocol() const { return FEnableConnectProtocol; }
  void SetEnableConnectProtocol(bool value) { FEnableConnectProtocol = value; }
  bool EnablePush() const { return FEnablePush; }
  void SetEnablePush(bool value) { FEnablePush = value; }
  uint32_t HeaderTableSize() const { return FHeaderTableSize; }
  void SetHeaderTableSize(uint32_t value) { FHeaderTableSize = value; }
  uint32_t InitialWindowSize() const { return FInitialWindowSize; }
  void SetInitialWindowSize(uint32_t value) { FInitialWindowSize = value; }
  uint32_t MaxConcurrentStreams() const { return FMaxConcurrentStreams; }
  void SetMaxConcurrentStreams(uint32_t value) { FMaxConcurrentStreams = value; }
  uint32_t MaxFrameSize() const { return FMaxFrameSize; }
  void SetMaxFrameSize(uint32_t value) { FMaxFrameSize = value; }
  uint32_t MaxHeaderListSize() const { return FMaxHeaderListSize; }
  void SetMaxHeaderListSize(uint32_t value) { FMaxHeaderListSize = value; }

 protected:
  void DoClearFlags() override { FACK = false; }
  void DoClear() override;
  void DoReadFlags(uint8_t flags) override { FACK = flags & h2flags::ACK; }
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  bool FACK = false;
  bool FEnableConnectProtocol = false;
  bool FEnablePush = true;
  uint32_t FHeaderTableSize = 4096;
  uint32_t FInitialWindowSize = 65535;
  uint32_t FMaxConcurrentStreams = 2147483647;
  uint32_t FMaxFrameSize = 16384;
  uint32_t FMaxHeaderListSize = 2147483647;
};

// An HTTP/2 PING frame.
class TzorHTTP2_Frame_Ping : public TzorHTTP2_Frame_Base {
 public:
  using TzorHTTP2_Frame_Base::TzorHTTP2_Frame_Base;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Ping"; }
  Th2FrameType FrameType() const override { return h2ftPING; }
  void Assign(const TPersistent& source) override;

  bool ACK() const { return FACK; }
  void SetACK(bool value) { FACK = value; }
  const std::array<uint8_t, 8>& PayLoad() const { return FPayLoad; }
  void SetPayLoad(const std::array<uint8_t, 8>& payload) { FPayLoad = payload; }

 protected:
  void DoClearFlags() override { FACK = false; }
  void DoClear() override { FPayLoad.fill(0); }
  void DoReadFlags(uint8_t flags) override { FACK = flags & h2flags::ACK; }
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  bool FACK = false;
  std::array<uint8_t, 8> FPayLoad{};
};

// An HTTP/2 GOAWAY frame.
class TzorHTTP2_Frame_GoAway : public TzorHTTP2_Frame_Base {
 public:
  using TzorHTTP2_Frame_Base::TzorHTTP2_Frame_Base;
  const char* ClassName() const override { return "TzorHTTP2_Frame_GoAway"; }
  Th2FrameType FrameType() const override { return h2ftGOAWAY; }
  void Assign(const TPersistent& source) override;

  // Octets as sent; peers usually send text.
  const std::string& AdditionalDebugData() const { return FAdditionalDebugData; }
  void SetAdditionalDebugData(std::string data) { FAdditionalDebugData = std::move(data); }
  Th2ErrorCodes ErrorCode() const { return FErrorCode; }
  void SetErrorCode(Th2ErrorCodes code) { FErrorCode = code; }
  int32_t LastStreamid() const { return FLastStreamid; }
  void SetLastStreamid(int32_t identifier) { FLastStreamid = identifier; }

 protected:
  void DoClearFlags() override {}
  void DoClear() override;
  void DoReadFlags(uint8_t) override {}
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  std::string FAdditionalDebugData;
  Th2ErrorCodes FErrorCode = h2erNO_ERROR;
  int32_t FLastStreamid = 0;
};

// An HTTP/2 WINDOW_UPDATE frame.
class TzorHTTP2_Frame_WindowUpdate : public TzorHTTP2_Frame_Base {
 public:
  using TzorHTTP2_Frame_Base::TzorHTTP2_Frame_Base;
  const char* ClassName() const override { return "TzorHTTP2_Frame_WindowUpdate"; }
  Th2FrameType FrameType() const override { return h2ftWINDOW_UPDATE; }
  void Assign(const TPersistent& source) override;

  int32_t WindowSizeIncrement() const { return FWindowSizeIncrement; }
  void SetWindowSizeIncrement(int32_t increment) { FWindowSizeIncrement = increment; }

 protected:
  void DoClearFlags() override {}
  void DoClear() override { FWindowSizeIncrement = 0; }
  void DoReadFlags(uint8_t) override {}
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  int32_t FWindowSizeIncrement = 0;
};

}  // namespace zor
