// PRIORITY, RST_STREAM, SETTINGS, PING, GOAWAY and WINDOW_UPDATE.
#include "http2/frames.h"
#include "http2/http2_exception.h"

namespace zor {

namespace {

void RequireLength(std::span<const uint8_t> payload, size_t length, const char* message, Th2ErrorResponse response,
                   int32_t streamIdentifier) {
  if (payload.size() != length)
    throw TzorHTTP2Exception(message, h2erFRAME_SIZE_ERROR, response,
                             response == h2errRST_STREAM ? streamIdentifier : 0);
}

// The 31-bit identifier or increment; the reserved top bit is ignored.
int32_t Read31(const uint8_t* p) { return static_cast<int32_t>(ReadWireInteger(p, 4) & 0x7FFFFFFF); }

}  // namespace

void TzorHTTP2_Frame_Priority::Assign(const TPersistent& source) {
  const auto* priority = dynamic_cast<const TzorHTTP2_Frame_Priority*>(&source);
  if (!priority) return TzorHTTP2_Frame_Base::Assign(source);
  FStreamDependency = priority->FStreamDependency;
  FWeight = priority->FWeight;
}

void TzorHTTP2_Frame_Priority::DoCheckPayload(std::span<const uint8_t> payload) {
  // A stream error: PRIORITY changes nothing shared by the connection.
  RequireLength(payload, 5, "Frame Size Error.", h2errRST_STREAM, FStreamIdentifier);
}

void TzorHTTP2_Frame_Priority::DoReadPayload(std::span<const uint8_t> payload) {
  FStreamDependency = ReadWireInteger(payload.data(), 4);
  FWeight = payload[4];
}

void TzorHTTP2_Frame_RSTStream::Assign(const TPersistent& source) {
  const auto* reset = dynamic_cast<const TzorHTTP2_Frame_RSTStream*>(&source);
  if (!reset) return TzorHTTP2_Frame_Base::Assign(source);
  FErrorCode = reset->FErrorCode;
}

void TzorHTTP2_Frame_RSTStream::DoCheckPayload(std::span<const uint8_t> payload) {
  RequireLength(payload, 4, "Frame Size Error.", h2errGO_AWAY, 0);
}

void TzorHTTP2_Frame_RSTStream::DoReadPayload(std::span<const uint8_t> payload) {
  FErrorCode = static_cast<Th2ErrorCodes>(ReadWireInteger(payload.data(), 4));
}

void TzorHTTP2_Frame_RSTStream::DoWriteBytes() {
  uint8_t payload[4];
  WriteWireInteger(payload, FErrorCode, 4);
  WriteFrame(h2ftRST_STREAM, 0, 0, FStreamIdentifier, payload, 0);
}

void TzorHTTP2_Frame_Settings::Assign(const TPersistent& source) {
  const auto* settings = dynamic_cast<const TzorHTTP2_Frame_Settings*>(&source);
  if (!settings) return TzorHTTP2_Frame_Base::Assign(source);
  FACK = settings->FACK;
  FValues = settings->FValues;
  FPresent = settings->FPresent;
}

void TzorHTTP2_Frame_Settings::DoClear() {
  FValues = {};
  FPresent = 0;
}

void TzorHTTP2_Frame_Settings::DoCheckPayload(std::span<const uint8_t> payload) {
  if (FACK && !payload.empty())
    throw TzorHTTP2Exception("When Settings FRAME has ACK enabled, payload must be empty.", h2erFRAME_SIZE_ERROR);
  if (payload.size() % 6 != 0)
    throw TzorHTTP2Exception("SETTINGS FRAME: Payload must be multiple of 6 octets.", h2erFRAME_SIZE_ERROR);
}

void TzorHTTP2_Frame_Settings::DoReadPayload(std::span<const uint8_t> payload) {
  for (size_t offset = 0; offset + 6 <= payload.size(); offset += 6) {
    const uint32_t value = ReadWireInteger(payload.data() + offset + 2, 4);
    const uint32_t identifier = ReadWireInteger(payload.data() + offset, 2);
    if (identifier < 32) FPresent |= 1u << identifier;
    switch (identifier) {
      case h2siHEADER_TABLE_SIZE:
        FValues.HeaderTableSize = value;
        break;
      case h2siENABLE_PUSH:
        if (value > 1) throw TzorHTTP2Exception("Invalid value Enable Push", h2erPROTOCOL_ERROR);
        FValues.EnablePush = value == 1;
        break;
      case h2siMAX_CONCURRENT_STREAMS:
        FValues.MaxConcurrentStreams = value;
        break;
      case h2siINITIAL_WINDOW_SIZE:
        if (value > h2MaxWindowSize) throw TzorHTTP2Exception("Invalid Initial Window Size", h2erFLOW_CONTROL_ERROR);
        FValues.InitialWindowSize = value;
        break;
      case h2siMAX_FRAME_SIZE:
        if (value < h2DefaultMaxFrameSize || value > h2LargestMaxFrameSize)
          throw TzorHTTP2Exception("Invalid Max Frame Size", h2erPROTOCOL_ERROR);
        FValues.MaxFrameSize = value;
        break;
      case h2siMAX_HEADER_LIST_SIZE:
        FValues.MaxHeaderListSize = value;
        break;
      case h2siENABLE_CONNECT_PROTOCOL:
        if (value > 1) throw TzorHTTP2Exception("Invalid value Enable Connect Protocol", h2erPROTOCOL_ERROR);
        FValues.EnableConnectProtocol = value == 1;
        break;
      default:  // unknown settings are ignored
        break;
    }
  }
}

void TzorHTTP2_Frame_Settings::DoWriteBytes() {
  if (FACK) {
    WriteFrame(h2ftSETTINGS, h2flags::ACK, h2flags::ACK, 0, {}, 0);
    return;
  }
  const TzorHTTP2SettingsValues defaults;
  uint8_t payload[7 * 6];
  size_t length = 0;
  auto entry = [&](Th2SettingsIdentifier identifier, uint32_t value, uint32_t defaultValue) {
    if (value == defaultValue) return;
    WriteWireInteger(payload + length, identifier, 2);
    WriteWireInteger(payload + length + 2, value, 4);
    length += 6;
  };
  entry(h2siHEADER_TABLE_SIZE, FValues.HeaderTableSize, defaults.HeaderTableSize);
  entry(h2siENABLE_PUSH, FValues.EnablePush, defaults.EnablePush);
  entry(h2siMAX_CONCURRENT_STREAMS, FValues.MaxConcurrentStreams, defaults.MaxConcurrentStreams);
  entry(h2siINITIAL_WINDOW_SIZE, FValues.InitialWindowSize, defaults.InitialWindowSize);
  entry(h2siMAX_FRAME_SIZE, FValues.MaxFrameSize, defaults.MaxFrameSize);
  entry(h2siMAX_HEADER_LIST_SIZE, FValues.MaxHeaderListSize, defaults.MaxHeaderListSize);
  entry(h2siENABLE_CONNECT_PROTOCOL, FValues.EnableConnectProtocol, defaults.EnableConnectProtocol);
  WriteFrame(h2ftSETTINGS, 0, 0, 0, {payload, length}, 0);
}

void TzorHTTP2_Frame_Ping::Assign(const TPersistent& source) {
  const auto* ping = dynamic_cast<const TzorHTTP2_Frame_Ping*>(&source);
  if (!ping) return TzorHTTP2_Frame_Base::Assign(source);
  FACK = ping->FACK;
}

void TzorHTTP2_Frame_Ping::DoCheckPayload(std::span<const uint8_t> payload) {
  RequireLength(payload, 8, "PING FRAME: Frame size must be 8 octets.", h2errGO_AWAY, 0);
}

void TzorHTTP2_Frame_Ping::DoReadPayload(std::span<const uint8_t> payload) {
  std::copy(payload.begin(), payload.begin() + 8, FPayLoad.begin());
}

void TzorHTTP2_Frame_Ping::DoWriteBytes() {
  const uint8_t flags = FACK ? h2flags::ACK : 0;
  WriteFrame(h2ftPING, flags, flags, 0, FPayLoad, 0);
}

void TzorHTTP2_Frame_GoAway::Assign(const TPersistent& source) {
  const auto* goAway = dynamic_cast<const TzorHTTP2_Frame_GoAway*>(&source);
  if (!goAway) return TzorHTTP2_Frame_Base::Assign(source);
  FErrorCode = goAway->FErrorCode;
  FLastStreamid = goAway->FLastStreamid;
  FAdditionalDebugData = goAway->FAdditionalDebugData;
}

void TzorHTTP2_Frame_GoAway::DoClear() {
  FAdditionalDebugData.clear();
  FErrorCode = h2erNO_ERROR;
  FLastStreamid = 0;
}

void TzorHTTP2_Frame_GoAway::DoCheckPayload(std::span<const uint8_t> payload) {
  if (payload.size() < 8) throw TzorHTTP2Exception("Frame Size Error.", h2erFRAME_SIZE_ERROR);
}

void TzorHTTP2_Frame_GoAway::DoReadPayload(std::span<const uint8_t> payload) {
  FLastStreamid = Read31(payload.data());
  FErrorCode = static_cast<Th2ErrorCodes>(ReadWireInteger(payload.data() + 4, 4));
  FAdditionalDebugData.assign(reinterpret_cast<const char*>(payload.data()) + 8, payload.size() - 8);
}

void TzorHTTP2_Frame_GoAway::DoWriteBytes() {
  TBytes payload(8 + FAdditionalDebugData.size());
  WriteWireInteger(payload.data(), static_cast<uint32_t>(FLastStreamid) & 0x7FFFFFFF, 4);
  WriteWireInteger(payload.data() + 4, FErrorCode, 4);
  std::copy(FAdditionalDebugData.begin(), FAdditionalDebugData.end(), payload.begin() + 8);
  WriteFrame(h2ftGOAWAY, 0, 0, 0, payload, 0);
}

void TzorHTTP2_Frame_WindowUpdate::Assign(const TPersistent& source) {
  const auto* update = dynamic_cast<const TzorHTTP2_Frame_WindowUpdate*>(&source);
  if (!update) return TzorHTTP2_Frame_Base::Assign(source);
  FWindowSizeIncrement = update->FWindowSizeIncrement;
}

void TzorHTTP2_Frame_WindowUpdate::DoCheckPayload(std::span<const uint8_t> payload) {
  RequireLength(payload, 4, "WINDOW UPDATE FRAME: Payload must be 4 octets.", h2errGO_AWAY, 0);
  if (Read31(payload.data()) == 0)
    throw TzorHTTP2Exception("WINDOW UPDATE FRAME: WindowSizeIncrement value must be between 1 and 2^31-1",
                             h2erPROTOCOL_ERROR, FStreamIdentifier ? h2errRST_STREAM : h2errGO_AWAY,
                             FStreamIdentifier);
}

void TzorHTTP2_Frame_WindowUpdate::DoReadPayload(std::span<const uint8_t> payload) {
  FWindowSizeIncrement = Read31(payload.data());
}

void TzorHTTP2_Frame_WindowUpdate::DoWriteBytes() {
  uint8_t payload[4];
  WriteWireInteger(payload, static_cast<uint32_t>(FWindowSizeIncrement) & 0x7FFFFFFF, 4);
  WriteFrame(h2ftWINDOW_UPDATE, 0, 0, FStreamIdentifier, payload, 0);
}

}  // namespace zor
