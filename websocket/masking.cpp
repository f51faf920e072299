#include "websocket/masking.h"

#include "base/random.h"

#include <bit>
#include <cstring>

namespace zor {

namespace {

// The key lives in registers only: building it byte-wise in memory and then
// loading it as a vector stalls store forwarding on every (small) frame.
typedef uint32_t Block16 __attribute__((vector_size(16)));

inline Block16 LoadBlock(const uint8_t* p) {
  Block16 b;
  std::memcpy(&b, p, sizeof b);
  return b;
}

inline void StoreBlock(uint8_t* p, Block16 b) { std::memcpy(p, &b, sizeof b); }

}  // namespace

static_assert(std::endian::native == std::endian::little, "the key rotation below assumes little endian");

void MaskCopy(uint8_t* dst, const uint8_t* src, size_t size, const uint8_t key[4], size_t keyIndex) {
  uint32_t k;
  std::memcpy(&k, key, 4);
  const unsigned shift = static_cast<unsigned>(keyIndex & 3) * 8;
  if (shift) k = (k >> shift) | (k << (32 - shift));  // byte j is now key[(keyIndex + j) % 4] (little endian)
  const Block16 mask = {k, k, k, k};
  size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    StoreBlock(dst + i, LoadBlock(src + i) ^ mask);
    StoreBlock(dst + i + 16, LoadBlock(src + i + 16) ^ mask);
    StoreBlock(dst + i + 32, LoadBlock(src + i + 32) ^ mask);
    StoreBlock(dst + i + 48, LoadBlock(src + i + 48) ^ mask);
  }
  for (; i + 16 <= size; i += 16) StoreBlock(dst + i, LoadBlock(src + i) ^ mask);
  if (i + 8 <= size) {
    uint64_t w;
    std::memcpy(&w, src + i, 8);
    w ^= static_cast<uint64_t>(k) << 32 | k;
    std::memcpy(dst + i, &w, 8);
    i += 8;
  }
  if (i + 4 <= size) {
    uint32_t w;
    std::memcpy(&w, src + i, 4);
    w ^= k;
    std::memcpy(dst + i, &w, 4);
    i += 4;
  }
  for (unsigned j = 0; i < size; ++i, j += 8) dst[i] = static_cast<uint8_t>(src[i] ^ (k >> j));
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
