#include "http2/frame_reader.h"

#include "base/format.h"
#include "http2/http2_exception.h"

#include <algorithm>

namespace zor {

namespace {

[[noreturn]] void ProtocolError(const char* message) { throw TzorHTTP2Exception(message, h2erPROTOCOL_ERROR); }
// The peer has ended the stream: RFC 7540 section 5.1 names the code.
[[noreturn]] void ClosedStreamError(const char* message) { throw TzorHTTP2Exception(message, h2erSTREAM_CLOSED); }

}  // namespace

TzorHTTP2_Frame::TzorHTTP2_Frame(Th2FrameRole role) : FFrameRole(role) {}

TzorHTTP2_Frame::~TzorHTTP2_Frame() = default;

TzorHTTP2_StreamIdentifierCounter& TzorHTTP2_Frame::StreamIdentifierCounter() {
  if (!FStreamIdentifierCounter) FStreamIdentifierCounter = std::make_unique<TzorHTTP2_StreamIdentifierCounter>(FFrameRole);
  return *FStreamIdentifierCounter;
}

TzorHTTP2_HPACK& TzorHTTP2_Frame::HPACK() {
  if (!FHPACK) FHPACK = std::make_unique<TzorHTTP2_HPACK>();
  return *FHPACK;
}

template <class FrameClass>
FrameClass& TzorHTTP2_Frame::Make(std::unique_ptr<FrameClass>& frame) {
  if (!frame) {
    frame = std::make_unique<FrameClass>(FFrameRole);
    frame->OnWriteBytes = [this](TzorHTTP2_Frame_Base&, std::span<const uint8_t> bytes) { DoWriteBytes(bytes); };
  }
  return *frame;
}

template <class FrameClass>
FrameClass& TzorHTTP2_Frame::MakeHeaderBlockFrame(std::unique_ptr<FrameClass>& frame) {
  if (!frame) {
    frame = std::make_unique<FrameClass>(&HPACK(), FFrameRole, &StreamIdentifierCounter());
    frame->OnWriteBytes = [this](TzorHTTP2_Frame_Base&, std::span<const uint8_t> bytes) { DoWriteBytes(bytes); };
  }
  return *frame;
}

TzorHTTP2_Frame_Continuation& TzorHTTP2_Frame::Frame_Continuation() { return Make(FFrame_Continuation); }
TzorHTTP2_Frame_Data& TzorHTTP2_Frame::Frame_Data() { return Make(FFrame_Data); }
TzorHTTP2_Frame_GoAway& TzorHTTP2_Frame::Frame_GoAway() { return Make(FFrame_GoAway); }
TzorHTTP2_Frame_Headers& TzorHTTP2_Frame::Frame_Headers() { return MakeHeaderBlockFrame(FFrame_Headers); }
TzorHTTP2_Frame_Ping& TzorHTTP2_Frame::Frame_Ping() { return Make(FFrame_Ping); }
TzorHTTP2_Frame_Priority& TzorHTTP2_Frame::Frame_Priority() { return Make(FFrame_Priority); }
TzorHTTP2_Frame_PushPromise& TzorHTTP2_Frame::Frame_PushPromise() { return MakeHeaderBlockFrame(FFrame_PushPromise); }
TzorHTTP2_Frame_RSTStream& TzorHTTP2_Frame::Frame_RSTStream() { return Make(FFrame_RSTStream); }
TzorHTTP2_Frame_Settings& TzorHTTP2_Frame::Frame_Settings() { return Make(FFrame_Settings); }
TzorHTTP2_Frame_WindowUpdate& TzorHTTP2_Frame::Frame_WindowUpdate() { return Make(FFrame_WindowUpdate); }

void TzorHTTP2_Frame::ResetFrame() {
  FFrameLength = 0;
  FFrameType = h2ftDATA;
  FStreamIdentifier = 0;
}

void TzorHTTP2_Frame::ReadBytes(std::span<const uint8_t> bytes) {
  size_t used = 0;
  if (FReadBuffer.Empty()) {
    // Complete frames are read straight from the caller's bytes; only the
    // rest is copied, also when a frame fails.
    try {
      DoReadFrame(bytes, used);
    } catch (...) {
      FReadBuffer.Append(bytes.subspan(used));
      throw;
    }
    FReadBuffer.Append(bytes.subspan(used));
    return;
  }
  FReadBuffer.Append(bytes);
  try {
    DoReadFrame(FReadBuffer.Span(), used);
  } catch (...) {
    FReadBuffer.Consume(used);
    throw;
  }
  FReadBuffer.Consume(used);
}

void TzorHTTP2_Frame::DoReadFrame(std::span<const uint8_t> bytes, size_t& used) {
  for (;;) {
    const std::span<const uint8_t> rest = bytes.subspan(used);
    if (FReadState == h2rsHeader || FReadState == h2rsHeaderWait) {
      if (rest.size() < h2FrameHeaderLength) {
        FReadState = h2rsHeaderWait;
        return;
      }
      used += h2FrameHeaderLength;
      FReadState = h2rsPayload;
      ProcessFrameHeader(rest.data());
    } else {
      if (rest.size() < static_cast<size_t>(FFrameLength)) {
        FReadState = h2rsPayloadWait;
        return;
      }
      used += static_cast<size_t>(FFrameLength);
      FReadState = h2rsHeader;
      if (FFrameType != h2ftUNKNOWN) DoHandlePayload(rest.first(static_cast<size_t>(FFrameLength)));
    }
  }
}

void TzorHTTP2_Frame::ProcessFrameHeader(const uint8_t* header) {
  ResetFrame();
  const uint32_t length = ReadWireInteger(header, 3);
  const uint8_t code = header[3];
  const uint8_t flags = header[4];
  FFrameType = code < h2ftUNKNOWN ? static_cast<Th2FrameType>(code) : h2ftUNKNOWN;
  FFrameLength = static_cast<int32_t>(length);
  FStreamIdentifier = static_cast<int32_t>(ReadWireInteger(header + 5, 4) & 0x7FFFFFFF);
  if (FFrameType == h2ftUNKNOWN && FOpenHeaderBlock)
    ProtocolError("UNKNOWN frame must be preceded by Frame with no EndHeaders.");
  if (length > FMaxFrameSize)
    throw TzorHTTP2Exception(Format("Frame size greater than MaxFrameSize: %u", FMaxFrameSize), h2erFRAME_SIZE_ERROR);
  if (FFrameType == h2ftPING && length != 8)
    throw TzorHTTP2Exception("PING FRAME: Frame size must be 8 octets.", h2erFRAME_SIZE_ERROR);

  TzorHTTP2_Frame_Base* frame = nullptr;
  switch (FFrameType) {
    case h2ftDATA: frame = &Frame_Data(); break;
    case h2ftHEADERS: frame = &Frame_Headers(); break;
    case h2ftPRIORITY: frame = &Frame_Priority(); break;
    case h2ftRST_STREAM: frame = &Frame_RSTStream(); break;
    case h2ftSETTINGS: frame = &Frame_Settings(); break;
    case h2ftPUSH_PROMISE: frame = &Frame_PushPromise(); break;
    case h2ftPING: frame = &Frame_Ping(); break;
    case h2ftGOAWAY: frame = &Frame_GoAway(); break;
    case h2ftWINDOW_UPDATE: frame = &Frame_WindowUpdate(); break;
    case h2ftCONTINUATION: frame = &Frame_Continuation(); break;
    case h2ftUNKNOWN: break;
  }
  CheckStreamIdentifier(FFrameType);
  CheckHeaderBlockSequence(FFrameType, flags);
  if (frame) {
    // Flags of the other types carry nothing this side reads.
    switch (FFrameType) {
      case h2ftDATA:
      case h2ftHEADERS:
      case h2ftSETTINGS:
      case h2ftPUSH_PROMISE:
      case h2ftPING:
      case h2ftCONTINUATION: frame->ReadFlags(flags); break;
      default: break;
    }
    frame->SetStreamIdentifier(FStreamIdentifier);
    frame->SetFrameLength(FFrameLength);
  }
  if (FFrameType == h2ftHEADERS) {
    FFrame_Headers->SetTrailer(IsOpenStream(FStreamIdentifier));
    FFrame_Headers->SetEnableConnectProtocol(FEnableConnectProtocol);
  }
}

void TzorHTTP2_Frame::CheckStreamIdentifier(Th2FrameType type) {
  // The order of new streams comes first, then the per-type rules.
  if (FFrameRole == h2frServerRead && type == h2ftHEADERS) {
    // A new stream's identifier is above every earlier one; a lower one is
    // only a trailer of a stream still open. DATA may go to any open stream.
    if (FStreamIdentifier < FLastStreamIdentifierRecv && !IsOpenStream(FStreamIdentifier))
      ProtocolError("StreamIdentifier is lower than LAST Stream Received.");
    FLastStreamIdentifierRecv = std::max(FLastStreamIdentifierRecv, FStreamIdentifier);
  } else if (FFrameRole == h2frClientRead && (type == h2ftDATA || type == h2ftHEADERS ||
                                                 type == h2ftPUSH_PROMISE || type == h2ftCONTINUATION)) {
    if (FLastStreamIdentifierRecv == 0 && FStreamIdentifier > 100) ProtocolError("StreamIdentifier is Unexpected.");
    FLastStreamIdentifierRecv = FStreamIdentifier;
  }
  const bool zero = FStreamIdentifier == 0;
  switch (type) {
    case h2ftDATA:
      if (zero) ProtocolError("DATA FRAME: Stream Identifier can not be zero.");
      if (IsClosedStream(FStreamIdentifier)) ClosedStreamError("DATA FRAME: Stream Identifier already closed.");
      break;
    case h2ftHEADERS:
      if (zero) ProtocolError("HEADER FRAME: Stream Identifier can not be zero.");
      if (IsClosedStream(FStreamIdentifier)) ClosedStreamError("HEADER FRAME: Stream Identifier already closed.");
      break;
    case h2ftPRIORITY:
      if (zero) ProtocolError("PRIORITY FRAME: Stream Identifier can not be zero.");
      break;
    case h2ftRST_STREAM:
      if (zero) ProtocolError("RST_STREAM FRAME: Stream Identifier can not be zero.");
      break;
    case h2ftSETTINGS:
      if (!zero) ProtocolError("SETTINGS FRAME: Stream Identifier can not be greater than zero.");
      break;
    case h2ftPUSH_PROMISE:
      if (zero) ProtocolError("PUSH PROMISE FRAME: Stream Identifier can not be zero.");
      if (FFrameRole == h2frServerRead) ProtocolError("PUSH PROMISE FRAME: a client cannot push.");
      break;
    case h2ftPING:
      if (!zero) ProtocolError("PING FRAME: Stream Identifier can not be greater than zero.");
      break;
    case h2ftGOAWAY:
      if (!zero) ProtocolError("GO AWAY: Stream Identifier can not be greater than zero.");
      break;
    case h2ftCONTINUATION:
      if (zero) ProtocolError("CONTINUATION FRAME: Stream Identifier can not be zero.");
      break;
    case h2ftWINDOW_UPDATE:
    case h2ftUNKNOWN: break;
  }
}

void TzorHTTP2_Frame::CheckHeaderBlockSequence(Th2FrameType type, uint8_t flags) {
  const bool endHeaders = flags & h2flags::END_HEADERS;
  if (FOpenHeaderBlock) {
    // Nothing may come between the frames of one header block.
    if (type != h2ftCONTINUATION)
      ProtocolError("CONTINUATION frame must be preceded by HEADERS, PUSH_PROMISE or CONTINUATION.");
    if (FStreamIdentifier != FLastFrame.StreamIdentifier)
      ProtocolError("CONTINUATION FRAME: Stream Identifier must be the one of its header block.");
  } else if (type == h2ftCONTINUATION) {
    ProtocolError("CONTINUATION frame must be preceded by Frame with no EndHeaders.");
  }
  if (type == h2ftHEADERS) FOpenHeaderBlock = endHeaders ? nullptr : &Frame_Headers();
  if (type == h2ftPUSH_PROMISE) FOpenHeaderBlock = endHeaders ? nullptr : &Frame_PushPromise();
  const bool blockFrame = type == h2ftHEADERS || type == h2ftPUSH_PROMISE || type == h2ftCONTINUATION;
  FLastFrame = {type, FStreamIdentifier, blockFrame ? endHeaders : true};
}

void TzorHTTP2_Frame::DoHandlePayload(std::span<const uint8_t> payload) {
  switch (FFrameType) {
    case h2ftDATA:
      Frame_Data().ReadPayload(payload);
      DoReadFrameData();
      break;
    case h2ftHEADERS:
      Frame_Headers().ReadPayload(payload);
      if (Frame_Headers().EndHeaders()) DoReadFrameHeaders();
      break;
    case h2ftPRIORITY:
      Frame_Priority().ReadPayload(payload);
      DoReadFramePriority();
      break;
    case h2ftRST_STREAM:
      Frame_RSTStream().ReadPayload(payload);
      DoReadFrameRSTStream();
      break;
    case h2ftSETTINGS:
      Frame_Settings().ReadPayload(payload);
      DoReadFrameSettings();
      break;
    case h2ftPUSH_PROMISE:
      Frame_PushPromise().ReadPayload(payload);
      if (Frame_PushPromise().EndHeaders()) DoReadFramePushPromise();
      break;
    case h2ftPING:
      Frame_Ping().ReadPayload(payload);
      DoReadFramePing();
      break;
    case h2ftGOAWAY:
      Frame_GoAway().ReadPayload(payload);
      DoReadFrameGoAway();
      break;
    case h2ftWINDOW_UPDATE:
      Frame_WindowUpdate().ReadPayload(payload);
      DoReadFrameWindowUpdate();
      break;
    case h2ftCONTINUATION: {
      TzorHTTP2_Frame_Continuation& continuation = Frame_Continuation();
      continuation.ReadPayload(payload);
      DoReadFrameContinuation();
      TzorHTTP2_Frame_HPACK_Base& block = *FOpenHeaderBlock;
      // The decoded list is bounded; so is the block that would decode to it
      // (Huffman codes are at most 30 bits for an octet).
      if (block.HeaderBlockLength() + payload.size() > 4 * HPACK().MaxHeaderListSize() + FMaxFrameSize)
        throw TzorHTTP2Exception("Header block larger than MaxHeaderListSize allows.", h2erENHANCE_YOUR_CALM);
      block.AppendFragment(payload);
      if (!continuation.EndHeaders()) break;
      FOpenHeaderBlock = nullptr;
      block.DecodeHeaderBlock();
      if (&block == FFrame_Headers.get())
        DoReadFrameHeaders();
      else
        DoReadFramePushPromise();
      break;
    }
    case h2ftUNKNOWN: break;
  }
}

void TzorHTTP2_Frame::WriteBytes() {
  switch (FFrameType) {
    case h2ftHEADERS: Frame_Headers().WriteBytes(); break;
    case h2ftRST_STREAM: Frame_RSTStream().WriteBytes(); break;
    case h2ftPING: Frame_Ping().WriteBytes(); break;
    case h2ftGOAWAY: Frame_GoAway().WriteBytes(); break;
    default: break;
  }
}

void TzorHTTP2_Frame::DoWriteBytes(std::span<const uint8_t> bytes) {
  if (OnWriteBytes) OnWriteBytes(*this, bytes);
}

void TzorHTTP2_Frame::DoReadFrameData() {
  if (OnReadFrameData) OnReadFrameData(*this, Frame_Data());
}
void TzorHTTP2_Frame::DoReadFrameHeaders() {
  if (OnReadFrameHeaders) OnReadFrameHeaders(*this, Frame_Headers());
}
void TzorHTTP2_Frame::DoReadFrameRSTStream() {
  if (OnReadFrameRSTStream) OnReadFrameRSTStream(*this, Frame_RSTStream());
}
void TzorHTTP2_Frame::DoReadFrameSettings() {
  if (OnReadFrameSettings) OnReadFrameSettings(*this, Frame_Settings());
}
void TzorHTTP2_Frame::DoReadFramePushPromise() {
  if (OnReadFramePushPromise) OnReadFramePushPromise(*this, Frame_PushPromise());
}
void TzorHTTP2_Frame::DoReadFramePing() {
  if (OnReadFramePing) OnReadFramePing(*this, Frame_Ping());
}
void TzorHTTP2_Frame::DoReadFrameGoAway() {
  if (OnReadFrameGoAway) OnReadFrameGoAway(*this, Frame_GoAway());
}
void TzorHTTP2_Frame::DoReadFrameWindowUpdate() {
  if (OnReadFrameWindowUpdate) OnReadFrameWindowUpdate(*this, Frame_WindowUpdate());
}
void TzorHTTP2_Frame::DoReadFrameContinuation() {
  if (OnReadFrameContinuation) OnReadFrameContinuation(*this, Frame_Continuation());
}
void TzorHTTP2_Frame::DoReadFramePriority() {
  if (OnReadFramePriority) OnReadFramePriority(*this, Frame_Priority());
}

}  // namespace zor
