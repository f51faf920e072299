#pragma once
// One class per HTTP/2 frame type: reading a payload into fields, writing the
// fields as frames.
#include "base/bytes.h"
#include "base/streams.h"
#include "http2/frame_base.h"
#include "http2/settings_values.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zor {

// The frame classes name their type through their base.
template <Th2FrameType Type, class Base = TzorHTTP2_Frame_Base>
class TzorHTTP2_FrameOf : public Base {
 public:
  using Base::Base;
  Th2FrameType FrameType() const override { return Type; }
};

// Base of the types whose flags octet carries nothing.
class TzorHTTP2_Frame_Unflagged : public TzorHTTP2_Frame_Base {
 public:
  using TzorHTTP2_Frame_Base::TzorHTTP2_Frame_Base;

 protected:
  void DoClearFlags() override {}
  void DoReadFlags(uint8_t) override {}
};

// An HTTP/2 DATA frame.
class TzorHTTP2_Frame_Data : public TzorHTTP2_FrameOf<h2ftDATA> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Data"; }
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
class TzorHTTP2_Frame_Headers : public TzorHTTP2_FrameOf<h2ftHEADERS, TzorHTTP2_Frame_HPACK_Base> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Headers"; }
  // The four flags.
  void Assign(const TPersistent& source) override;

  bool EndStream() const { return FEndStream; }
  void SetEndStream(bool value) { FEndStream = value; }
  bool Padded() const { return FPadded; }
  bool Priority() const { return FPriority; }
  uint32_t PadLength() const { return FPadLength; }
  uint32_t StreamDependency() const { return FStreamDependency; }
  uint32_t Weight() const { return FWeight; }
  // A second block on an open stream: trailers carry no pseudo-header.
  bool Trailer() const { return FTrailer; }
  void SetTrailer(bool value) { FTrailer = value; }
  // Whether a CONNECT may name a protocol (RFC 8441), as this side announced.
  void SetEnableConnectProtocol(bool value) { FEnableConnectProtocol = value; }

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
  // Required, duplicate and unknown pseudo-headers, for the role.
  void CheckPseudoHeaders(std::span<std::string_view> collected, bool connect) const;

  bool FEndStream = false;
  bool FPadded = false;
  bool FPriority = false;
  uint32_t FPadLength = 0;
  uint32_t FStreamDependency = 0;
  uint32_t FWeight = 0;
  bool FTrailer = false;
  bool FEnableConnectProtocol = false;
};

// An HTTP/2 PUSH_PROMISE frame.
class TzorHTTP2_Frame_PushPromise : public TzorHTTP2_FrameOf<h2ftPUSH_PROMISE, TzorHTTP2_Frame_HPACK_Base> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_PushPromise"; }
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
class TzorHTTP2_Frame_Continuation : public TzorHTTP2_FrameOf<h2ftCONTINUATION> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Continuation"; }
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
class TzorHTTP2_Frame_Priority : public TzorHTTP2_FrameOf<h2ftPRIORITY, TzorHTTP2_Frame_Unflagged> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Priority"; }
  void Assign(const TPersistent& source) override;

  uint32_t StreamDependency() const { return FStreamDependency; }
  uint32_t Weight() const { return FWeight; }

 protected:
  void DoClear() override { FStreamDependency = FWeight = 0; }
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  // Priorities are advisory; this side sends none.
  void DoWriteBytes() override {}

 private:
  uint32_t FStreamDependency = 0;
  uint32_t FWeight = 0;
};

// An HTTP/2 RST_STREAM frame.
class TzorHTTP2_Frame_RSTStream : public TzorHTTP2_FrameOf<h2ftRST_STREAM, TzorHTTP2_Frame_Unflagged> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_RSTStream"; }
  void Assign(const TPersistent& source) override;

  Th2ErrorCodes ErrorCode() const { return FErrorCode; }
  void SetErrorCode(Th2ErrorCodes code) { FErrorCode = code; }

 protected:
  void DoClear() override { FErrorCode = h2erNO_ERROR; }
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  Th2ErrorCodes FErrorCode = h2erNO_ERROR;
};

// An HTTP/2 SETTINGS frame.
class TzorHTTP2_Frame_Settings : public TzorHTTP2_FrameOf<h2ftSETTINGS> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Settings"; }
  // ACK and every value.
  void Assign(const TPersistent& source) override;

  bool ACK() const { return FACK; }
  void SetACK(bool value) { FACK = value; }
  const TzorHTTP2SettingsValues& Values() const { return FValues; }
  void SetValues(const TzorHTTP2SettingsValues& values) { FValues = values; }
  bool EnableConnectProtocol() const { return FValues.EnableConnectProtocol; }
  bool EnablePush() const { return FValues.EnablePush; }
  uint32_t HeaderTableSize() const { return FValues.HeaderTableSize; }
  uint32_t InitialWindowSize() const { return FValues.InitialWindowSize; }
  uint32_t MaxConcurrentStreams() const { return FValues.MaxConcurrentStreams; }
  uint32_t MaxFrameSize() const { return FValues.MaxFrameSize; }
  uint32_t MaxHeaderListSize() const { return FValues.MaxHeaderListSize; }
  // Whether the frame read carried an entry for the setting.
  bool Present(Th2SettingsIdentifier identifier) const { return FPresent & (1u << identifier); }

 protected:
  void DoClearFlags() override { FACK = false; }
  void DoClear() override;
  void DoReadFlags(uint8_t flags) override { FACK = flags & h2flags::ACK; }
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  bool FACK = false;
  TzorHTTP2SettingsValues FValues;
  uint32_t FPresent = 0;  // bit per identifier read
};

// An HTTP/2 PING frame.
class TzorHTTP2_Frame_Ping : public TzorHTTP2_FrameOf<h2ftPING> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_Ping"; }
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
class TzorHTTP2_Frame_GoAway : public TzorHTTP2_FrameOf<h2ftGOAWAY, TzorHTTP2_Frame_Unflagged> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_GoAway"; }
  void Assign(const TPersistent& source) override;

  // Octets as sent; peers usually send text.
  const std::string& AdditionalDebugData() const { return FAdditionalDebugData; }
  void SetAdditionalDebugData(std::string data) { FAdditionalDebugData = std::move(data); }
  Th2ErrorCodes ErrorCode() const { return FErrorCode; }
  void SetErrorCode(Th2ErrorCodes code) { FErrorCode = code; }
  int32_t LastStreamid() const { return FLastStreamid; }
  void SetLastStreamid(int32_t identifier) { FLastStreamid = identifier; }

 protected:
  void DoClear() override;
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  std::string FAdditionalDebugData;
  Th2ErrorCodes FErrorCode = h2erNO_ERROR;
  int32_t FLastStreamid = 0;
};

// An HTTP/2 WINDOW_UPDATE frame.
class TzorHTTP2_Frame_WindowUpdate : public TzorHTTP2_FrameOf<h2ftWINDOW_UPDATE, TzorHTTP2_Frame_Unflagged> {
 public:
  using TzorHTTP2_FrameOf::TzorHTTP2_FrameOf;
  const char* ClassName() const override { return "TzorHTTP2_Frame_WindowUpdate"; }
  void Assign(const TPersistent& source) override;

  int32_t WindowSizeIncrement() const { return FWindowSizeIncrement; }
  void SetWindowSizeIncrement(int32_t increment) { FWindowSizeIncrement = increment; }

 protected:
  void DoClear() override { FWindowSizeIncrement = 0; }
  void DoReadPayload(std::span<const uint8_t> payload) override;
  void DoCheckPayload(std::span<const uint8_t> payload) override;
  void DoWriteBytes() override;

 private:
  int32_t FWindowSizeIncrement = 0;
};

}  // namespace zor
