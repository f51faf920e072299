#include "websocket/masking.h"

#include "base/random.h"

#include <cstring>

namespace zor {

namespace {

typedef uint8_t Block16 __attribute__((vector_size(16)));

inline Block16 LoadBlock(const uint8_t* p) {
  Block16 b;
  std::memcpy(&b, p, sizeof b);
  return b;
}

inline void StoreBlock(uint8_t* p, Block16 b) { std::memcpy(p, &b, sizeof b); }

}  // namespace

void MaskCopy(uint8_t* dst, const uint8_t* src, size_t size, const uint8_t key[4], size_t keyIndex) {
  uint8_t rotated[16];
  for (size_t i = 0; i < sizeof rotated; ++i) rotated[i] = key[(keyIndex + i) & 3];
  const Block16 mask = LoadBlock(rotated);
  size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    StoreBlock(dst + i, LoadBlock(src + i) ^ mask);
    StoreBlock(dst + i + 16, LoadBlock(src + i + 16) ^ mask);
    StoreBlock(dst + i + 32, LoadBlock(src + i + 32) ^ mask);
    StoreBlock(dst + i + 48, LoadBlock(src + i + 48) ^ mask);
  }
  for (; i + 16 <= size; i += 16) StoreBlock(dst + i, LoadBlock(src + i) ^ mask);
  for (; i < size; ++i) dst[i] = src[i] ^ rotated[i & 15];
}

void TzorWSKeyBytes::Draw(uint8_t* out, size_t count) {
  while (count > 0) {
    if (used_ == sizeof pool_) {
      RandomBytes(pool_, sizeof pool_);
      used_ = 0;
    }
    const uint8_t b = pool_[used_++];
    if (b == 0xFF) continue;  // rejected, so the other 255 values stay equally likely
    *out++ = b;
    --count;
  }
}

}  // namespace zor
