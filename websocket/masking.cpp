#include "websocket/masking.h"

#include "base/random.h"

#include <bit>
#include <cstring>

namespace zor {

namespace {

// The key lives in registers only: building it byte-wise in memory and then
// loading it as a vector stalls store forwarding on every (small) frame.
typedef uint32_t Block32 __attribute__((vector_size(32)));

// Vectors only by reference: passing them by value would tie the ABI to AVX.
inline void XorBlock(uint8_t* dst, const uint8_t* src, const Block32& mask) {
  Block32 b;
  std::memcpy(&b, src, sizeof b);
  b ^= mask;
  std::memcpy(dst, &b, sizeof b);
}

}  // namespace

static_assert(std::endian::native == std::endian::little, "the key rotation below assumes little endian");

// Built twice, for AVX2 and for the x86-64 baseline (two SSE2 halves per
// block); the loader picks one for the machine.
__attribute__((target_clones("avx2", "default"))) void MaskCopy(uint8_t* dst, const uint8_t* src, size_t size, const uint8_t key[4], size_t keyIndex) {
  uint32_t k;
  std::memcpy(&k, key, 4);
  const unsigned shift = static_cast<unsigned>(keyIndex & 3) * 8;
  if (shift) k = (k >> shift) | (k << (32 - shift));  // byte j is now key[(keyIndex + j) % 4] (little endian)
  const Block32 mask = {k, k, k, k, k, k, k, k};
  size_t i = 0;
  for (; i + 128 <= size; i += 128) {
    XorBlock(dst + i, src + i, mask);
    XorBlock(dst + i + 32, src + i + 32, mask);
    XorBlock(dst + i + 64, src + i + 64, mask);
    XorBlock(dst + i + 96, src + i + 96, mask);
  }
  for (; i + 32 <= size; i += 32) XorBlock(dst + i, src + i, mask);
  if (i + 16 <= size) {
    uint64_t w[2];
    std::memcpy(w, src + i, 16);
    w[0] ^= static_cast<uint64_t>(k) << 32 | k;
    w[1] ^= static_cast<uint64_t>(k) << 32 | k;
    std::memcpy(dst + i, w, 16);
    i += 16;
  }
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
  // A whole key at once when the next bytes are all below 0xFF (nearly always).
  if (count == 4 && used_ + 4 <= sizeof pool_) {
    uint32_t w;
    std::memcpy(&w, pool_ + used_, 4);
    // ~w has a zero byte exactly where w has 0xFF.
    if ((((~w) - 0x01010101u) & w & 0x80808080u) == 0) {
      std::memcpy(out, &w, 4);
      used_ += 4;
      return;
    }
  }
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
