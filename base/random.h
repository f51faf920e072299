#pragma once
// Cryptographically secure randomness (OpenSSL RAND_bytes) for GUIDs, session
// ids, secrets and masking keys. Never the clock, rand() or a seeded PRNG.
#include <cstddef>
#include <cstdint>
#include <string>

namespace zor {

// Fills the buffer; throws zor::Exception when the generator fails.
void RandomBytes(uint8_t* out, size_t size);

// A new random (version 4) GUID as 32 upper-case hexadecimal digits.
std::string NewGuidText();

}  // namespace zor
