#pragma once
// Frame masking: the XOR with a 4-byte key, and the keys themselves.
#include <cstddef>
#include <cstdint>

namespace zor {

// dst[i] = src[i] ^ key[(keyIndex + i) % 4] for i < size; dst may equal src.
// Works on 32-byte blocks; this is the hot path of every masked frame.
void MaskCopy(uint8_t* dst, const uint8_t* src, size_t size, const uint8_t key[4], size_t keyIndex = 0);

// Key bytes from the CSPRNG, each uniform over 0..254 (0xFF never occurs, which
// peers of this library rely on). Random bytes are fetched in blocks so that a
// small frame does not pay for a generator call of its own.
class TzorWSKeyBytes {
 public:
  void Draw(uint8_t* out, size_t count);

 private:
  // One generator call serves about a thousand frames: its fixed cost is
  // several times that of masking a small frame.
  uint8_t pool_[4096];
  size_t used_ = sizeof pool_;
};

}  // namespace zor
