#pragma once
// HPACK: the header compression context of one direction of a connection. The
// reader's coder decodes the peer's header blocks and keeps the peer's dynamic
// table; the writer's coder encodes this side's blocks. Header blocks are
// always whole here (the frame reader joins HEADERS and CONTINUATION first).
#include "http2/byte_buffer.h"
#include "http2/header_list.h"
#include "http2/hpack_tables.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace zor {

enum TzorHPackHuffmanStrategy : uint8_t { h2huNever, h2huAlways, h2huIfSmaller };

// The HPACK header coder of one connection: encoder and decoder with their dynamic tables.
class TzorHTTP2_HPACK {
 public:
  TzorHTTP2_HPACK();
  virtual ~TzorHTTP2_HPACK() = default;

  // Decodes a whole header block into `headers` (replacing what it held).
  // Failures are COMPRESSION_ERROR; a list larger than MaxHeaderListSize is
  // ENHANCE_YOUR_CALM. A failure leaves the dynamic table as far as it got.
  void Decode(std::span<const uint8_t> block, TzorHTTP2_HeaderList& headers);

  // Appends the header block of `headers` to `out`, starting with the pending
  // dynamic table size updates.
  void Encode(const TzorHTTP2_HeaderList& headers, TzorByteBuffer& out);
  // The front end of the HEADERS and PUSH_PROMISE writers: adapts the table
  // size first (below), then encodes.
  void EncodeHeaders(const TzorHTTP2_HeaderList& headers, TzorByteBuffer& out);

  // Integer with an N-bit prefix (N = 4..7) whose other bits are `pattern`.
  static void EncodeInteger(uint32_t value, int prefixBits, uint8_t pattern, TzorByteBuffer& out);
  // Reads an integer with an N-bit prefix at `p` (advanced past it).
  static uint32_t DecodeInteger(const uint8_t*& p, const uint8_t* end, int prefixBits);
  // String literal of the octets, Huffman coded as the strategy says.
  void EncodeString(std::string_view octets, TzorHPackHuffmanStrategy strategy, TzorByteBuffer& out) const;
  // Reads a string literal at `p` (advanced past it) and appends its octets.
  void DecodeString(const uint8_t*& p, const uint8_t* end, TzorByteBuffer& out) const;

  // The encoder's table size: takes effect at once and is announced at the
  // start of the next block (the smallest and the last value when several).
  void SetDynamicTableSize(uint32_t size);
  uint32_t DynamicTableSize() const { return FHeaderTable.MaxDynamicTableSize(); }
  // The decoder accepts size updates up to this value (what this side
  // announced as HEADER_TABLE_SIZE; lower it once the peer has acknowledged
  // it). An encoder is given the peer's HEADER_TABLE_SIZE here: its table
  // follows a lower value down at once, announced at the start of the next
  // block, and grows back to at most min(limit, 4096).
  uint32_t DynamicTableSizeLimit() const { return FDynamicTableSizeLimit; }
  void SetDynamicTableSizeLimit(uint32_t limit);
  size_t DynamicTableLength() const { return FHeaderTable.DynamicTableLength(); }
  uint32_t DynamicTableUsedSize() const { return FHeaderTable.UsedDynamicTableSize(); }

  TzorHPackHuffmanStrategy HuffmanStrategy() const { return FHuffmanStrategy; }
  void SetHuffmanStrategy(TzorHPackHuffmanStrategy strategy) {
    FHuffmanStrategy = strategy;
    FRepeat.valid = false;
  }
  uint32_t MaxStringLength() const { return FMaxStringLength; }
  void SetMaxStringLength(uint32_t length) { FMaxStringLength = length; }
  // Bound of a decoded list: name + value + 32 summed over its fields.
  uint64_t MaxHeaderListSize() const { return FMaxHeaderListSize; }
  void SetMaxHeaderListSize(uint64_t size) { FMaxHeaderListSize = size; }

  TzorHTTP2_HeaderTable& HeaderTable() { return FHeaderTable; }

 private:
  void EncodeField(std::string_view name, std::string_view value, bool sensitive, TzorByteBuffer& out);

  TzorHTTP2_HeaderTable FHeaderTable;
  // The last block that only referred to the table: answers repeat their
  // fields, and the same list on an unchanged table encodes to the same octets.
  struct Repeat {
    bool valid = false;
    std::array<uint64_t, 3> tableState{};
    TzorHTTP2_HeaderList headers;
    TzorByteBuffer block;
  } FRepeat;
  uint32_t FDynamicTableSizeLimit = h2DefaultHeaderTableSize;
  int64_t FTableSizeUpdateMinValue = -1;
  int64_t FTableSizeUpdateFinalValue = -1;
  TzorHPackHuffmanStrategy FHuffmanStrategy = h2huIfSmaller;
  uint32_t FMaxStringLength = 1048576;
  uint64_t FMaxHeaderListSize = 65536;
};

}  // namespace zor
