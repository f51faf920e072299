#pragma once
// Byte arrays and their text forms: UTF-8, hexadecimal, Base64.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

using TBytes = std::vector<uint8_t>;

TBytes UTF8TextToBytes(std::string_view text);
// Invalid UTF-8 sequences become U+FFFD.
std::string BytesToUTF8Text(const TBytes& bytes);
// The network layer's default text encoding is 7-bit ASCII: bytes above 127 become '?'.
std::string BytesToText(const TBytes& bytes);

// Copies `count` bytes from source to dest when count > 0 (both must hold them).
void MoveBytes(const uint8_t* source, uint8_t* dest, int64_t count);
void AppendBytes(const TBytes& source, TBytes& dest);

// One byte per pair of hexadecimal digits; an odd last digit is ignored.
// A pair that is not hexadecimal raises EConvertError.
TBytes HexTextToBytes(std::string_view hex);
// The same bytes as characters whose code is the byte value (UTF-8 in memory).
std::string HexTextToChars(std::string_view hex);
std::string BytesToHexText(const uint8_t* data, size_t size);  // upper case

// Standard Base64 with "=" padding and no line breaks.
std::string EncodeBase64(const uint8_t* data, size_t size);
inline std::string EncodeBase64(std::string_view s) {
  return EncodeBase64(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}
// Decodes standard Base64; characters outside the alphabet are skipped and
// decoding stops at the first "=".
std::string DecodeBase64(std::string_view text);

// Base64 of the UTF-8 bytes of the text when utf8 is set, otherwise of its
// single-byte (Latin-1) form, characters above 255 becoming '?'.
std::string EncodeBase64Text(std::string_view text, bool utf8);
// The text whose characters are the decoded bytes (one character per byte).
std::string DecodeBase64Text(std::string_view text);
std::string HexToBase64(std::string_view hex);

// Characters whose codes are the bytes (Latin-1 to UTF-8), and back (characters
// above 255 become '?').
std::string Latin1ToUTF8(std::string_view bytes);
std::string UTF8ToLatin1(std::string_view text);

}  // namespace zor
