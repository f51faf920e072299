#pragma once
// The frame layer's common parts: the wire integers, the stream identifier
// counter, the base of every frame class (reading a payload into fields,
// writing fields as frames) and the base of the two header-block frames.
#include "base/persistent.h"
#include "http2/byte_buffer.h"
#include "http2/header_list.h"
#include "http2/hpack.h"
#include "http2/http2_constants.h"

#include <cstdint>
#include <functional>
#include <span>

namespace zor {

// Unsigned big-endian integer of 1 to 4 octets.
uint32_t ReadWireInteger(const uint8_t* p, int octets);
// Writes the value right-aligned into a field of 1 to 4 octets.
void WriteWireInteger(uint8_t* p, uint32_t value, int octets);

// Hands out the stream identifiers of one side of a connection.
class TzorHTTP2_StreamIdentifierCounter {
 public:
  explicit TzorHTTP2_StreamIdentifierCounter(Th2FrameRole role) : FFrameRole(role) {}
  // 1, 3, 5, ... for the writing roles, 2, 4, 6, ... for the reading roles.
  // Past 2^31 - 1 no stream can be opened: the connection has to end.
  int32_t GetNewIdentifier();
  int32_t LastStreamIdentifier() const { return FNewStreamIdentifier; }

 private:
  int32_t FNewStreamIdentifier = 0;
  Th2FrameRole FFrameRole;
};

class TzorHTTP2_Frame_Base;
using TzorHTTP2FrameWriteBytesEvent = std::function<void(TzorHTTP2_Frame_Base& sender, std::span<const uint8_t> bytes)>;

// Base of the HTTP/2 frame classes: header fields, payload reading and writing.
class TzorHTTP2_Frame_Base : public TPersistent {
 public:
  explicit TzorHTTP2_Frame_Base(Th2FrameRole role) : FFrameRole(role) {}
  const char* ClassName() const override { return "TzorHTTP2_Frame_Base"; }
  // From another frame: role, stream identifier and frame length.
  void Assign(const TPersistent& source) override;

  virtual Th2FrameType FrameType() const = 0;

  void Clear() { DoClear(); }
  void ClearFlags() { DoClearFlags(); }
  void ReadFlags(uint8_t flags) {
    ClearFlags();
    DoReadFlags(flags);
  }
  // Clears the fields, checks the payload, then reads it. Every offset is
  // checked before use; violations raise TzorHTTP2Exception.
  void ReadPayload(std::span<const uint8_t> payload) {
    Clear();
    DoCheckPayload(payload);
    DoReadPayload(payload);
  }
  void WriteBytes() { DoWriteBytes(); }

  // Sends the payload as frames of at most 16384 octets, all handed to
  // OnWriteBytes in one call; earlier frames carry `earlierFlags`, the last
  // `lastFlags`. DATA continues where its previous call stopped; other types
  // start at octet 0. A limit above 0 bounds the octets sent by this call.
  // Returns the payload octets left unsent.
  int64_t WriteFrame(Th2FrameType type, uint8_t lastFlags, uint8_t earlierFlags, int32_t streamIdentifier,
                     std::span<const uint8_t> payload, int64_t limit);

  int32_t FrameLength() const { return FFrameLength; }
  void SetFrameLength(int32_t length) { FFrameLength = length; }
  Th2FrameRole FrameRole() const { return FFrameRole; }
  int32_t StreamIdentifier() const { return FStreamIdentifier; }
  void SetStreamIdentifier(int32_t identifier) { FStreamIdentifier = identifier; }
  TzorHTTP2_StreamIdentifierCounter* StreamIdentifierCounter() const { return FStreamIdentifierCounter; }
  void SetStreamIdentifierCounter(TzorHTTP2_StreamIdentifierCounter* counter) { FStreamIdentifierCounter = counter; }

  TzorHTTP2FrameWriteBytesEvent OnWriteBytes;

  // Appends one frame header to `out`.
  static void AppendFrameHeader(TzorByteBuffer& out, uint32_t length, Th2FrameType type, uint8_t flags,
                                int32_t streamIdentifier);

 protected:
  virtual void DoClearFlags() = 0;
  virtual void DoClear() = 0;
  virtual void DoReadFlags(uint8_t flags) = 0;
  virtual void DoReadPayload(std::span<const uint8_t> payload) = 0;
  virtual void DoCheckPayload(std::span<const uint8_t> payload) = 0;
  virtual void DoWriteBytes() = 0;

  // Hands the assembled frames to OnWriteBytes.
  void Deliver(const TzorByteBuffer& frames);

  int32_t FOffset = 0;
  TzorHTTP2_StreamIdentifierCounter* FStreamIdentifierCounter = nullptr;
  int32_t FFrameLength = 0;
  Th2FrameRole FFrameRole;
  int32_t FStreamIdentifier = 0;
  TzorByteBuffer FFrames;  // output of one write, reused
};

// The payload without its padding: checks the pad length octet (when PADDED)
// and that `fixedLength` octets of fields follow it, and returns what lies
// between those fields and the padding.
std::span<const uint8_t> UnpaddedPayload(std::span<const uint8_t> payload, bool padded, size_t fixedLength,
                                         uint32_t& padLength);

// Base of HEADERS and PUSH_PROMISE: a header block that may continue in
// CONTINUATION frames, coded by the connection's HPACK coder (not owned).
class TzorHTTP2_Frame_HPACK_Base : public TzorHTTP2_Frame_Base {
 public:
  TzorHTTP2_Frame_HPACK_Base(TzorHTTP2_HPACK* hpack, Th2FrameRole role, TzorHTTP2_StreamIdentifierCounter* counter)
      : TzorHTTP2_Frame_Base(role), FHPACK(hpack) {
    FStreamIdentifierCounter = counter;
  }
  const char* ClassName() const override { return "TzorHTTP2_Frame_HPACK_Base"; }

  TzorHTTP2_HeaderList& Headers() { return FHeaders; }
  const TzorHTTP2_HeaderList& Headers() const { return FHeaders; }
  bool EndHeaders() const { return FEndHeaders; }
  void SetEndHeaders(bool value) { FEndHeaders = value; }
  TzorHTTP2_HPACK* HPACK() const { return FHPACK; }

  // The header block of the list, as the HEADERS and PUSH_PROMISE writers send it.
  void EncodeHeaders(const TzorHTTP2_HeaderList& headers, TzorByteBuffer& out);
  // The next identifier of the counter (when one is set), remembered.
  int32_t NewStreamIdentifier();
  int32_t LastNewStreamIdentifier() const { return FNewStreamIdentifier; }

  // A CONTINUATION fragment of the open block.
  void AppendFragment(std::span<const uint8_t> fragment) { FHeaderBlock.Append(fragment); }
  size_t HeaderBlockLength() const { return FHeaderBlock.Size(); }
  // Decodes the collected block once END_HEADERS has arrived.
  void DecodeHeaderBlock();

 protected:
  // Stores the first fragment; decodes at once when it is the whole block.
  void ReadHeaderBlock(std::span<const uint8_t> fragment);
  // Checks of the decoded list (HEADERS only).
  virtual void DoValidateHeaders() {}
  // Writes the prefix fields and the block as this type's frame and
  // CONTINUATION frames, END_HEADERS on the last; all in one OnWriteBytes call.
  void WriteHeaderBlock(Th2FrameType type, uint8_t flags, int32_t streamIdentifier, std::span<const uint8_t> prefix);

  int32_t FNewStreamIdentifier = 0;
  TzorHTTP2_HPACK* FHPACK;
  bool FEndHeaders = false;
  TzorHTTP2_HeaderList FHeaders;
  TzorByteBuffer FHeaderBlock;
};

}  // namespace zor
