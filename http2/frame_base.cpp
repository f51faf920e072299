#include "http2/frame_base.h"

#include "http2/http2_exception.h"

#include <algorithm>

namespace zor {

uint32_t ReadWireInteger(const uint8_t* p, int octets) {
  uint32_t value = 0;
  for (int i = 0; i < octets; ++i) value = value << 8 | p[i];
  return value;
}

void WriteWireInteger(uint8_t* p, uint32_t value, int octets) {
  for (int i = octets - 1; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

int32_t TzorHTTP2_StreamIdentifierCounter::GetNewIdentifier() {
  const bool odd = FFrameRole == h2frClientWrite || FFrameRole == h2frServerWrite;
  if (FNewStreamIdentifier > INT32_MAX - 2)
    throw TzorHTTP2Exception("Stream identifiers are exhausted.", h2erNO_ERROR);
  FNewStreamIdentifier = FNewStreamIdentifier == 0 ? (odd ? 1 : 2) : FNewStreamIdentifier + 2;
  return FNewStreamIdentifier;
}

void TzorHTTP2_Frame_Base::Assign(const TPersistent& source) {
  const auto* frame = dynamic_cast<const TzorHTTP2_Frame_Base*>(&source);
  if (!frame) return TPersistent::Assign(source);
  FFrameRole = frame->FFrameRole;
  FStreamIdentifier = frame->FStreamIdentifier;
  FFrameLength = frame->FFrameLength;
}

void TzorHTTP2_Frame_Base::AppendFrameHeader(TzorByteBuffer& out, uint32_t length, Th2FrameType type, uint8_t flags,
                                             int32_t streamIdentifier) {
  uint8_t* header = out.Reserve(h2FrameHeaderLength);
  WriteWireInteger(header, length, 3);
  header[3] = type;
  header[4] = flags;
  WriteWireInteger(header + 5, static_cast<uint32_t>(streamIdentifier) & 0x7FFFFFFF, 4);
  out.Commit(h2FrameHeaderLength);
}

void TzorHTTP2_Frame_Base::Deliver(const TzorByteBuffer& frames) {
  if (OnWriteBytes) OnWriteBytes(*this, frames.Span());
}

int64_t TzorHTTP2_Frame_Base::WriteFrame(Th2FrameType type, uint8_t lastFlags, uint8_t earlierFlags,
                                         int32_t streamIdentifier, std::span<const uint8_t> payload, int64_t limit) {
  if (type != h2ftDATA) FOffset = 0;
  const size_t start = std::min(static_cast<size_t>(FOffset), payload.size());
  int64_t remaining = static_cast<int64_t>(payload.size() - start);
  const bool bounded = limit > 0;
  FFrames.Clear();
  do {
    int64_t chunk = std::min<int64_t>(remaining, h2DefaultMaxFrameSize);
    if (bounded) {
      chunk = std::min(chunk, limit);
      limit -= chunk;
    }
    remaining -= chunk;
    AppendFrameHeader(FFrames, static_cast<uint32_t>(chunk), type, remaining > 0 ? earlierFlags : lastFlags,
                      streamIdentifier);
    FFrames.Append(payload.data() + FOffset, static_cast<size_t>(chunk));
    FOffset += static_cast<int32_t>(chunk);
  } while (remaining > 0 && (!bounded || limit > 0));
  Deliver(FFrames);
  return remaining;
}

std::span<const uint8_t> UnpaddedPayload(std::span<const uint8_t> payload, bool padded, size_t fixedLength,
                                         uint32_t& padLength) {
  padLength = 0;
  const size_t padOctet = padded ? 1 : 0;
  if (payload.size() < padOctet + fixedLength) throw TzorHTTP2Exception("Frame Size Error.", h2erFRAME_SIZE_ERROR);
  if (padded) padLength = payload[0];
  if (padLength > payload.size() - padOctet - fixedLength)
    throw TzorHTTP2Exception("Padding Length is invalid.", h2erPROTOCOL_ERROR);
  return payload.subspan(padOctet + fixedLength, payload.size() - padOctet - fixedLength - padLength);
}

void TzorHTTP2_Frame_HPACK_Base::EncodeHeaders(const TzorHTTP2_HeaderList& headers, TzorByteBuffer& out) {
  FHPACK->EncodeHeaders(headers, out);
}

int32_t TzorHTTP2_Frame_HPACK_Base::NewStreamIdentifier() {
  if (FStreamIdentifierCounter) FNewStreamIdentifier = FStreamIdentifierCounter->GetNewIdentifier();
  return FNewStreamIdentifier;
}

void TzorHTTP2_Frame_HPACK_Base::ReadHeaderBlock(std::span<const uint8_t> fragment) {
  if (FEndHeaders) {
    FHPACK->Decode(fragment, FHeaders);
    DoValidateHeaders();
  } else {
    FHeaderBlock.Append(fragment);
  }
}

void TzorHTTP2_Frame_HPACK_Base::DecodeHeaderBlock() {
  FEndHeaders = true;
  FHPACK->Decode(FHeaderBlock.Span(), FHeaders);
  FHeaderBlock.Clear();
  DoValidateHeaders();
}

void TzorHTTP2_Frame_HPACK_Base::WriteHeaderBlock(Th2FrameType type, uint8_t flags, int32_t streamIdentifier,
                                                  std::span<const uint8_t> prefix) {
  // The block is encoded once and never cut short: what does not fit in the
  // first frame follows in CONTINUATION frames, which nothing may interleave.
  TzorByteBuffer& block = FHeaderBlock;
  block.Clear();
  block.Append(prefix);
  EncodeHeaders(FHeaders, block);
  FFrames.Clear();
  size_t offset = 0;
  Th2FrameType frameType = type;
  do {
    const size_t chunk = std::min<size_t>(block.Size() - offset, h2DefaultMaxFrameSize);
    const bool last = offset + chunk == block.Size();
    AppendFrameHeader(FFrames, static_cast<uint32_t>(chunk), frameType, last ? flags | h2flags::END_HEADERS : flags,
                      streamIdentifier);
    FFrames.Append(block.Data() + offset, chunk);
    offset += chunk;
    frameType = h2ftCONTINUATION;
    flags = 0;
  } while (offset < block.Size());
  block.Clear();
  Deliver(FFrames);
}

}  // namespace zor
