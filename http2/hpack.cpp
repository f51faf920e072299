#include "http2/hpack.h"

#include "http2/hpack_huffman.h"
#include "http2/http2_exception.h"

#include <algorithm>

namespace zor {

namespace {

constexpr uint32_t kMaxInteger = 2147483647;
// Integers above kMaxInteger need no more than this many continuation octets.
constexpr int kMaxContinuationShift = 28;

[[noreturn]] void Truncated() { throw CompressionError("HPACK: header block is incomplete."); }

uint8_t* WriteInteger(uint8_t* out, uint32_t value, int prefixBits, uint8_t pattern) {
  const uint32_t max = (1u << prefixBits) - 1;
  if (value < max) {
    *out++ = static_cast<uint8_t>(pattern | value);
    return out;
  }
  *out++ = static_cast<uint8_t>(pattern | max);
  value -= max;
  while (value >= 0x80) {
    *out++ = static_cast<uint8_t>(value | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<uint8_t>(value);
  return out;
}

// Worst case of one integer: the prefix octet and five continuation octets.
constexpr size_t kIntegerRoom = 6;

}  // namespace

TzorHTTP2_HPACK::TzorHTTP2_HPACK() : FHeaderTable(false) {}

void TzorHTTP2_HPACK::EncodeInteger(uint32_t value, int prefixBits, uint8_t pattern, TzorByteBuffer& out) {
  uint8_t* start = out.Reserve(kIntegerRoom);
  out.Commit(static_cast<size_t>(WriteInteger(start, value, prefixBits, pattern) - start));
}

uint32_t TzorHTTP2_HPACK::DecodeInteger(const uint8_t*& p, const uint8_t* end, int prefixBits) {
  if (p >= end) Truncated();
  const uint32_t max = (1u << prefixBits) - 1;
  const uint32_t prefix = *p++ & max;
  if (prefix < max) return prefix;
  uint64_t value = prefix;
  for (int shift = 0;; shift += 7) {
    if (p >= end) Truncated();
    if (shift > kMaxContinuationShift) throw CompressionError("Invalid Integer.");
    const uint8_t octet = *p++;
    value += uint64_t{octet & 0x7Fu} << shift;
    if (value > kMaxInteger) throw CompressionError("Invalid Integer.");
    if (!(octet & 0x80)) return static_cast<uint32_t>(value);
  }
}

void TzorHTTP2_HPACK::EncodeString(std::string_view octets, TzorHPackHuffmanStrategy strategy,
                                   TzorByteBuffer& out) const {
  bool huffman = strategy == h2huAlways;
  size_t length = octets.size();
  if (strategy == h2huIfSmaller) {
    const size_t coded = HuffmanEncodedLength(octets);
    huffman = coded < length;
    if (huffman) length = coded;
  } else if (huffman) {
    length = HuffmanEncodedLength(octets);
  }
  if (length > kMaxInteger) throw Exception("Maximum string length exceeded");
  uint8_t* start = out.Reserve(kIntegerRoom + length);
  uint8_t* p = WriteInteger(start, static_cast<uint32_t>(length), 7, huffman ? 0x80 : 0x00);
  if (huffman)
    HuffmanEncode(octets, p);
  else if (length)
    std::memcpy(p, octets.data(), length);
  out.Commit(static_cast<size_t>(p - start) + length);
}

void TzorHTTP2_HPACK::DecodeString(const uint8_t*& p, const uint8_t* end, TzorByteBuffer& out) const {
  if (p >= end) Truncated();
  const bool huffman = *p & 0x80;
  const uint32_t length = DecodeInteger(p, end, 7);
  if (length > FMaxStringLength) throw CompressionError("Maximum string length exceeded");
  if (static_cast<size_t>(end - p) < length) Truncated();
  if (huffman) {
    uint8_t* dest = out.Reserve(HuffmanDecodedBound(length));
    out.Commit(HuffmanDecode(p, length, dest));
  } else {
    out.Append(p, length);
  }
  p += length;
}

void TzorHTTP2_HPACK::Decode(std::span<const uint8_t> block, TzorHTTP2_HeaderList& headers) {
  headers.Clear();
  TzorByteBuffer& octets = headers.bytes_;
  const uint8_t* p = block.data();
  const uint8_t* const end = p + block.size();
  uint64_t listSize = 0;
  while (p < end) {
    const uint8_t first = *p;
    TzorHTTP2_TableEntry entry;
    const auto nameOffset = static_cast<uint32_t>(octets.Size());
    uint32_t valueOffset;
    bool sensitive = false;
    if (first & 0x80) {  // indexed field
      if (!FHeaderTable.GetItem(DecodeInteger(p, end, 7), entry))
        throw CompressionError("Table Header item not found.");
      octets.Append(entry.Name.data(), entry.Name.size());
      valueOffset = static_cast<uint32_t>(octets.Size());
      octets.Append(entry.Value.data(), entry.Value.size());
    } else if ((first & 0xE0) == 0x20) {  // dynamic table size update
      if (!headers.fields_.empty()) throw CompressionError("Table update is not allowed.");
      const uint32_t size = DecodeInteger(p, end, 5);
      if (size > FDynamicTableSizeLimit) throw CompressionError("Table size limit exceeded");
      FHeaderTable.SetMaxDynamicTableSize(size);
      continue;
    } else {  // literal: with incremental indexing, without, never indexed
      const bool indexing = first & 0x40;
      sensitive = (first & 0xF0) == 0x10;
      const uint32_t index = DecodeInteger(p, end, indexing ? 6 : 4);
      if (index == 0) {
        DecodeString(p, end, octets);
      } else {
        if (!FHeaderTable.GetItem(index, entry)) throw CompressionError("Table Header item not found.");
        octets.Append(entry.Name.data(), entry.Name.size());
      }
      valueOffset = static_cast<uint32_t>(octets.Size());
      DecodeString(p, end, octets);
      if (indexing)
        FHeaderTable.AddItem(octets.View(nameOffset, valueOffset - nameOffset),
                             octets.View(valueOffset, octets.Size() - valueOffset));
    }
    const uint32_t nameLength = valueOffset - nameOffset;
    const auto valueLength = static_cast<uint32_t>(octets.Size() - valueOffset);
    if (nameLength == 0) throw CompressionError("HPACK: field name cannot be empty.");
    listSize += uint64_t{nameLength} + valueLength + 32;
    if (listSize > FMaxHeaderListSize)
      throw TzorHTTP2Exception("HPACK: header list larger than MaxHeaderListSize.", h2erENHANCE_YOUR_CALM);
    headers.fields_.push_back({nameOffset, nameLength, valueOffset, valueLength, sensitive});
  }
}

void TzorHTTP2_HPACK::EncodeField(std::string_view name, std::string_view value, bool sensitive,
                                  TzorByteBuffer& out) {
  TzorHTTP2_DynamicTable& table = FHeaderTable.DynamicTable();
  const uint64_t nameHash = HeaderNameHash(name);
  const uint64_t fieldHash = HeaderFieldHash(nameHash, value);
  const TzorHTTP2_StaticMatch match = FindStaticEntry(name, nameHash, value, fieldHash);
  if (match.fullIndex) {
    EncodeInteger(match.fullIndex, 7, 0x80, out);
    return;
  }
  if (const int position = table.FindField(name, value, fieldHash); position >= 0) {
    EncodeInteger(static_cast<uint32_t>(position) + h2StaticTableLength + 1, 7, 0x80, out);
    return;
  }
  uint32_t nameIndex = match.nameIndex;
  if (nameIndex == 0)
    if (const int position = table.FindName(name, nameHash); position >= 0)
      nameIndex = static_cast<uint32_t>(position) + h2StaticTableLength + 1;
  const uint64_t size = uint64_t{name.size()} + value.size() + 32;
  const bool indexing = !sensitive && table.MaxTableSize() >= size;
  const uint8_t pattern = indexing ? 0x40 : sensitive ? 0x10 : 0x00;
  const int prefixBits = indexing ? 6 : 4;
  EncodeInteger(nameIndex, prefixBits, pattern, out);
  if (nameIndex == 0) EncodeString(name, FHuffmanStrategy, out);
  EncodeString(value, FHuffmanStrategy, out);
  if (indexing) table.AddItem(name, value, nameHash, fieldHash);
}

void TzorHTTP2_HPACK::Encode(const TzorHTTP2_HeaderList& headers, TzorByteBuffer& out) {
  FHeaderTable.DynamicTable().SetSearchable(true);
  if (FTableSizeUpdateMinValue != -1 && FTableSizeUpdateMinValue != FTableSizeUpdateFinalValue)
    EncodeInteger(static_cast<uint32_t>(FTableSizeUpdateMinValue), 5, 0x20, out);
  if (FTableSizeUpdateFinalValue != -1) EncodeInteger(static_cast<uint32_t>(FTableSizeUpdateFinalValue), 5, 0x20, out);
  FTableSizeUpdateMinValue = FTableSizeUpdateFinalValue = -1;
  const std::array<uint64_t, 3> tableState = FHeaderTable.DynamicTable().State();
  if (FRepeat.valid && FRepeat.tableState == tableState && FRepeat.headers.Identical(headers)) {
    out.Append(FRepeat.block.Span());
    return;
  }
  const size_t start = out.Size();
  for (size_t i = 0; i < headers.Count(); ++i)
    EncodeField(headers.Name(i), headers.Value(i), headers.Sensitive(i), out);
  FRepeat.valid = FHeaderTable.DynamicTable().State() == tableState;
  if (!FRepeat.valid) return;
  FRepeat.tableState = tableState;
  FRepeat.headers = headers;
  FRepeat.block.Clear();
  FRepeat.block.Append(out.Data() + start, out.Size() - start);
}

void TzorHTTP2_HPACK::EncodeHeaders(const TzorHTTP2_HeaderList& headers, TzorByteBuffer& out) {
  // A table that is nearly full is halved, and grown back once the half is
  // nearly full, within what the peer allows.
  const uint32_t maximum = DynamicTableSize();
  const uint32_t ceiling = std::min(FDynamicTableSizeLimit, h2DefaultHeaderTableSize);
  if (DynamicTableUsedSize() > static_cast<uint32_t>(maximum * 0.9))
    SetDynamicTableSize(maximum < ceiling ? ceiling : maximum / 2);
  Encode(headers, out);
}

void TzorHTTP2_HPACK::SetDynamicTableSize(uint32_t size) {
  if (size == DynamicTableSize()) return;
  FTableSizeUpdateFinalValue = size;
  if (FTableSizeUpdateMinValue == -1 || FTableSizeUpdateMinValue > size) FTableSizeUpdateMinValue = size;
  FHeaderTable.SetMaxDynamicTableSize(size);
}

void TzorHTTP2_HPACK::SetDynamicTableSizeLimit(uint32_t limit) {
  FDynamicTableSizeLimit = limit;
  if (DynamicTableSize() > limit) SetDynamicTableSize(limit);
}

}  // namespace zor
