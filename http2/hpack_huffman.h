#pragma once
// The Huffman code of HPACK string literals (the fixed canonical code of 257
// symbols, the last one EOS).
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zor {

// One symbol's code in the HPACK Huffman code.
struct TzorHPackHuffmanCode {
  uint32_t code;  // right-aligned
  uint8_t length;
};
extern const TzorHPackHuffmanCode HPackHuffmanCodes[257];

// Octets the Huffman form of the octets takes (the bits rounded up).
size_t HuffmanEncodedLength(std::string_view octets);
// Writes exactly HuffmanEncodedLength(octets) octets; the last is filled with
// 1-bits, the start of EOS.
void HuffmanEncode(std::string_view octets, uint8_t* out);

// Room the decoded form of `length` coded octets can take (the shortest code
// has 5 bits).
inline constexpr size_t HuffmanDecodedBound(size_t length) { return length * 8 / 5 + 1; }
// Decodes into `out` (HuffmanDecodedBound octets of room) and returns the
// number of octets written. EOS, more than 7 padding bits or a padding bit
// that is 0 fail with COMPRESSION_ERROR.
size_t HuffmanDecode(const uint8_t* in, size_t length, uint8_t* out);

}  // namespace zor
