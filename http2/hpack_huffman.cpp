#include "http2/hpack_huffman.h"

#include "http2/http2_exception.h"

#include <array>
#include <cstring>

namespace zor {

const TzorHPackHuffmanCode HPackHuffmanCodes[257] = {
    {0x1ff8, 13}, {0x7fffd8, 23}, {0xfffffe2, 28}, {0xfffffe3, 28}, {0xfffffe4, 28}, {0xfffffe5, 28},
    {0xfffffe6, 28}, {0xfffffe7, 28}, {0xfffffe8, 28}, {0xffffea, 24}, {0x3ffffffc, 30}, {0xfffffe9, 28},
    {0xfffffea, 28}, {0x3ffffffd, 30}, {0xfffffeb, 28}, {0xfffffec, 28}, {0xfffffed, 28}, {0xfffffee, 28},
    {0xfffffef, 28}, {0xffffff0, 28}, {0xffffff1, 28}, {0xffffff2, 28}, {0x3ffffffe, 30}, {0xffffff3, 28},
    {0xffffff4, 28}, {0xffffff5, 28}, {0xffffff6, 28}, {0xffffff7, 28}, {0xffffff8, 28}, {0xffffff9, 28},
    {0xffffffa, 28}, {0xffffffb, 28}, {0x14, 6}, {0x3f8, 10}, {0x3f9, 10}, {0xffa, 12},
    {0x1ff9, 13}, {0x15, 6}, {0xf8, 8}, {0x7fa, 11}, {0x3fa, 10}, {0x3fb, 10},
    {0xf9, 8}, {0x7fb, 11}, {0xfa, 8}, {0x16, 6}, {0x17, 6}, {0x18, 6},
    {0x0, 5}, {0x1, 5}, {0x2, 5}, {0x19, 6}, {0x1a, 6}, {0x1b, 6},
    {0x1c, 6}, {0x1d, 6}, {0x1e, 6}, {0x1f, 6}, {0x5c, 7}, {0xfb, 8},
    {0x7ffc, 15}, {0x20, 6}, {0xffb, 12}, {0x3fc, 10}, {0x1ffa, 13}, {0x21, 6},
    {0x5d, 7}, {0x5e, 7}, {0x5f, 7}, {0x60, 7}, {0x61, 7}, {0x62, 7},
    {0x63, 7}, {0x64, 7}, {0x65, 7}, {0x66, 7}, {0x67, 7}, {0x68, 7},
    {0x69, 7}, {0x6a, 7}, {0x6b, 7}, {0x6c, 7}, {0x6d, 7}, {0x6e, 7},
    {0x6f, 7}, {0x70, 7}, {0x71, 7}, {0x72, 7}, {0xfc, 8}, {0x73, 7},
    {0xfd, 8}, {0x1ffb, 13}, {0x7fff0, 19}, {0x1ffc, 13}, {0x3ffc, 14}, {0x22, 6},
    {0x7ffd, 15}, {0x3, 5}, {0x23, 6}, {0x4, 5}, {0x24, 6}, {0x5, 5},
    {0x25, 6}, {0x26, 6}, {0x27, 6}, {0x6, 5}, {0x74, 7}, {0x75, 7},
    {0x28, 6}, {0x29, 6}, {0x2a, 6}, {0x7, 5}, {0x2b, 6}, {0x76, 7},
    {0x2c, 6}, {0x8, 5}, {0x9, 5}, {0x2d, 6}, {0x77, 7}, {0x78, 7},
    {0x79, 7}, {0x7a, 7}, {0x7b, 7}, {0x7ffe, 15}, {0x7fc, 11}, {0x3ffd, 14},
    {0x1ffd, 13}, {0xffffffc, 28}, {0xfffe6, 20}, {0x3fffd2, 22}, {0xfffe7, 20}, {0xfffe8, 20},
    {0x3fffd3, 22}, {0x3fffd4, 22}, {0x3fffd5, 22}, {0x7fffd9, 23}, {0x3fffd6, 22}, {0x7fffda, 23},
    {0x7fffdb, 23}, {0x7fffdc, 23}, {0x7fffdd, 23}, {0x7fffde, 23}, {0xffffeb, 24}, {0x7fffdf, 23},
    {0xffffec, 24}, {0xffffed, 24}, {0x3fffd7, 22}, {0x7fffe0, 23}, {0xffffee, 24}, {0x7fffe1, 23},
    {0x7fffe2, 23}, {0x7fffe3, 23}, {0x7fffe4, 23}, {0x1fffdc, 21}, {0x3fffd8, 22}, {0x7fffe5, 23},
    {0x3fffd9, 22}, {0x7fffe6, 23}, {0x7fffe7, 23}, {0xffffef, 24}, {0x3fffda, 22}, {0x1fffdd, 21},
    {0xfffe9, 20}, {0x3fffdb, 22}, {0x3fffdc, 22}, {0x7fffe8, 23}, {0x7fffe9, 23}, {0x1fffde, 21},
    {0x7fffea, 23}, {0x3fffdd, 22}, {0x3fffde, 22}, {0xfffff0, 24}, {0x1fffdf, 21}, {0x3fffdf, 22},
    {0x7fffeb, 23}, {0x7fffec, 23}, {0x1fffe0, 21}, {0x1fffe1, 21}, {0x3fffe0, 22}, {0x1fffe2, 21},
    {0x7fffed, 23}, {0x3fffe1, 22}, {0x7fffee, 23}, {0x7fffef, 23}, {0xfffea, 20}, {0x3fffe2, 22},
    {0x3fffe3, 22}, {0x3fffe4, 22}, {0x7ffff0, 23}, {0x3fffe5, 22}, {0x3fffe6, 22}, {0x7ffff1, 23},
    {0x3ffffe0, 26}, {0x3ffffe1, 26}, {0xfffeb, 20}, {0x7fff1, 19}, {0x3fffe7, 22}, {0x7ffff2, 23},
    {0x3fffe8, 22}, {0x1ffffec, 25}, {0x3ffffe2, 26}, {0x3ffffe3, 26}, {0x3ffffe4, 26}, {0x7ffffde, 27},
    {0x7ffffdf, 27}, {0x3ffffe5, 26}, {0xfffff1, 24}, {0x1ffffed, 25}, {0x7fff2, 19}, {0x1fffe3, 21},
    {0x3ffffe6, 26}, {0x7ffffe0, 27}, {0x7ffffe1, 27}, {0x3ffffe7, 26}, {0x7ffffe2, 27}, {0xfffff2, 24},
    {0x1fffe4, 21}, {0x1fffe5, 21}, {0x3ffffe8, 26}, {0x3ffffe9, 26}, {0xffffffd, 28}, {0x7ffffe3, 27},
    {0x7ffffe4, 27}, {0x7ffffe5, 27}, {0xfffec, 20}, {0xfffff3, 24}, {0xfffed, 20}, {0x1fffe6, 21},
    {0x3fffe9, 22}, {0x1fffe7, 21}, {0x1fffe8, 21}, {0x7ffff3, 23}, {0x3fffea, 22}, {0x3fffeb, 22},
    {0x1ffffee, 25}, {0x1ffffef, 25}, {0xfffff4, 24}, {0xfffff5, 24}, {0x3ffffea, 26}, {0x7ffff4, 23},
    {0x3ffffeb, 26}, {0x7ffffe6, 27}, {0x3ffffec, 26}, {0x3ffffed, 26}, {0x7ffffe7, 27}, {0x7ffffe8, 27},
    {0x7ffffe9, 27}, {0x7ffffea, 27}, {0x7ffffeb, 27}, {0xffffffe, 28}, {0x7ffffec, 27}, {0x7ffffed, 27},
    {0x7ffffee, 27}, {0x7ffffef, 27}, {0x7fffff0, 27}, {0x3ffffee, 26}, {0x3fffffff, 30},
};

namespace {

constexpr int kEOS = 256;
constexpr int kMaxCodeLength = 30;
// Bits looked up at once on the fast path: one lookup yields up to two symbols
// (the shortest codes have 5 bits), and the table stays small enough for L1.
constexpr int kPeekBits = 12;

// The code is canonical: for each length, the codes are consecutive numbers
// starting at firstCode, given to the symbols in increasing order.
struct CanonicalCode {
  uint32_t firstCode[kMaxCodeLength + 1] = {};
  uint32_t count[kMaxCodeLength + 1] = {};
  uint32_t offset[kMaxCodeLength + 1] = {};
  uint16_t symbols[257] = {};
};

// Fast-path entry: symbol 1 in bits 0-7, symbol 2 in bits 8-15, the length of
// symbol 1 in bits 16-20, the length of both in bits 21-25, the number of
// symbols (0 when the first code is longer than kPeekBits) in bits 26-27.
struct DecodeTables {
  CanonicalCode canonical;
  std::array<uint32_t, 1u << kPeekBits> peek{};
};

// Symbol and length of the code at the top of the left-aligned window, or
// length 0 when the window's `bits` bits hold no whole code.
struct Decoded {
  int symbol;
  int length;
};

Decoded DecodeCanonical(const CanonicalCode& canonical, uint32_t window, int bits) {
  for (int length = 5; length <= kMaxCodeLength && length <= bits; ++length) {
    const uint32_t code = window >> (32 - length);
    const uint32_t rank = code - canonical.firstCode[length];
    if (rank < canonical.count[length]) return {canonical.symbols[canonical.offset[length] + rank], length};
  }
  return {0, 0};
}

DecodeTables BuildTables() {
  DecodeTables tables;
  CanonicalCode& canonical = tables.canonical;
  uint32_t placed = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    canonical.offset[length] = placed;
    bool first = true;
    for (int symbol = 0; symbol <= kEOS; ++symbol) {
      if (HPackHuffmanCodes[symbol].length != length) continue;
      if (first) canonical.firstCode[length] = HPackHuffmanCodes[symbol].code;
      first = false;
      canonical.symbols[placed++] = static_cast<uint16_t>(symbol);
      ++canonical.count[length];
    }
  }
  for (uint32_t index = 0; index < tables.peek.size(); ++index) {
    const uint32_t window = index << (32 - kPeekBits);
    const Decoded one = DecodeCanonical(canonical, window, kPeekBits);
    if (one.length == 0 || one.symbol == kEOS) continue;
    uint32_t entry = uint32_t(one.symbol) | uint32_t(one.length) << 16 | uint32_t(one.length) << 21 | 1u << 26;
    const Decoded two = DecodeCanonical(canonical, window << one.length, kPeekBits - one.length);
    if (two.length != 0 && two.symbol != kEOS)
      entry = uint32_t(one.symbol) | uint32_t(two.symbol) << 8 | uint32_t(one.length) << 16 |
              uint32_t(one.length + two.length) << 21 | 2u << 26;
    tables.peek[index] = entry;
  }
  return tables;
}

const DecodeTables& Tables() {
  static const DecodeTables tables = BuildTables();
  return tables;
}

inline uint64_t LoadBigEndian64(const uint8_t* p) {
  uint64_t value;
  std::memcpy(&value, p, 8);
  return __builtin_bswap64(value);
}

inline void StoreBigEndian32(uint8_t* p, uint32_t value) {
  value = __builtin_bswap32(value);
  std::memcpy(p, &value, 4);
}

}  // namespace

size_t HuffmanEncodedLength(std::string_view octets) {
  size_t bits = 0;
  for (unsigned char c : octets) bits += HPackHuffmanCodes[c].length;
  return (bits + 7) / 8;
}

void HuffmanEncode(std::string_view octets, uint8_t* out) {
  uint64_t pending = 0;  // right-aligned bits not yet written
  int bits = 0;
  for (unsigned char c : octets) {
    const TzorHPackHuffmanCode& code = HPackHuffmanCodes[c];
    pending = pending << code.length | code.code;
    bits += code.length;
    if (bits >= 32) {
      bits -= 32;
      StoreBigEndian32(out, static_cast<uint32_t>(pending >> bits));
      out += 4;
    }
  }
  if (bits == 0) return;
  const int padding = (8 - bits % 8) % 8;
  pending = pending << padding | ((1u << padding) - 1);
  bits += padding;
  while (bits > 0) {
    bits -= 8;
    *out++ = static_cast<uint8_t>(pending >> bits);
  }
}

size_t HuffmanDecode(const uint8_t* in, size_t length, uint8_t* out) {
  const DecodeTables& tables = Tables();
  const uint8_t* const end = in + length;
  uint8_t* const start = out;
  uint64_t window = 0;  // left-aligned input bits
  int bits = 0;
  auto refill = [&] {
    if (end - in >= 8) {
      window |= LoadBigEndian64(in) >> bits;
      in += (63 - bits) >> 3;
      bits |= 56;
    } else {
      while (bits <= 56 && in < end) {
        window |= uint64_t(*in++) << (56 - bits);
        bits += 8;
      }
    }
  };
  auto emitLong = [&](uint64_t padded) {
    const Decoded one = DecodeCanonical(tables.canonical, static_cast<uint32_t>(padded >> 32), bits);
    if (one.length == 0) return false;
    if (one.symbol == kEOS) throw CompressionError("Encountered EOS in huffman code");
    *out++ = static_cast<uint8_t>(one.symbol);
    window <<= one.length;
    bits -= one.length;
    return true;
  };
  // While a whole longest code is at hand, no bit needs a check.
  for (refill(); bits >= kMaxCodeLength; refill()) {
    const uint32_t entry = tables.peek[window >> (64 - kPeekBits)];
    const uint32_t count = entry >> 26;
    if (count == 0) {
      emitLong(window);
      continue;
    }
    out[0] = static_cast<uint8_t>(entry);
    out[1] = static_cast<uint8_t>(entry >> 8);
    out += count;
    const int used = (entry >> 21) & 31;
    window <<= used;
    bits -= used;
  }
  // The last bits: pad the window with 1-bits and take only whole codes.
  while (bits > 0) {
    const uint64_t padded = window | (~uint64_t{0} >> bits);
    const uint32_t entry = tables.peek[padded >> (64 - kPeekBits)];
    if (entry >> 26 == 0) {
      if (!emitLong(padded)) break;
      continue;
    }
    const int firstLength = (entry >> 16) & 31;
    if (firstLength > bits) break;
    *out++ = static_cast<uint8_t>(entry);
    window <<= firstLength;
    bits -= firstLength;
  }
  if (bits > 7) throw CompressionError("Padding exceeds 7 bits");
  if (bits > 0 && (window >> (64 - bits)) != (uint64_t{1} << bits) - 1) throw CompressionError("Invalid padding");
  return static_cast<size_t>(out - start);
}

}  // namespace zor
