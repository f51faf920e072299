#pragma once
// SHA-2 (FIPS 180-4) without any library, the fallback when OpenSSL's is unusable.
#include <array>
#include <cstddef>
#include <cstdint>

namespace zor {

std::array<uint8_t, 32> BuiltinSHA256(const uint8_t* data, size_t size);
std::array<uint8_t, 48> BuiltinSHA384(const uint8_t* data, size_t size);
std::array<uint8_t, 64> BuiltinSHA512(const uint8_t* data, size_t size);

}  // namespace zor
