#pragma once
// Message digests. SHA-2 goes through OpenSSL first and falls back to the
// built-in implementation of sha2_builtin.h; no failure reaches the caller.
#include "base/bytes.h"

namespace zor {

TBytes HashSHA256(const TBytes& bytes);
TBytes HashSHA384(const TBytes& bytes);
TBytes HashSHA512(const TBytes& bytes);
TBytes HashSHA1(const uint8_t* data, size_t size);
// MD5 of HexTextToBytes(hex) as 32 upper-case hexadecimal digits.
std::string MD5HexOfHexText(std::string_view hex);

}  // namespace zor
