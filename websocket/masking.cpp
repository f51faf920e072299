#include "websocket/masking.h"

#include "base/random.h"

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

// Built twice, for AVX2 and for the x86-64 baseline (two SSE2 halves per
// block); the loader picks one for the machine. Not under the thread
// sanitizer: the loader runs the picker before the sanitizer's runtime is up,
// and the instrumented picker crashes.
#if defined(__SANITIZE_THREAD__)
#define ZOR_MASK_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZOR_MASK_CLONES
#endif
#endif
#ifndef ZOR_MASK_CLONES
#define ZOR_MASK_CLONES __attribute__((target_clones("avx2", "default")))
#endif

ZOR_MASK_CLONES void MaskBlocks(uint8_t* dst, const uint8_t* src, size_t size, uint32_t key) {
  const Block32 mask = {key, key, key, key, key, key, key, key};
  size_t i = 0;
  for (; i + 128 <= size; i += 128) {
    XorBlock(dst + i, src + i, mask);
    XorBlock(dst + i + 32, src + i + 32, mask);
    XorBlock(dst + i + 64, src + i + 64, mask);
    XorBlock(dst + i + 96, src + i + 96, mask);
  }
  for (; i < size; i += 32) XorBlock(dst + i, src + i, mask);
}

void TzorWSKeyBytes::DrawEach(uint8_t* out, size_t count) {
  while (count > 0) {
    if (used_ == kPoolSize) {
      if (!pool_) pool_ = std::make_unique_for_overwrite<uint8_t[]>(kPoolSize);
      RandomBytes(pool_.get(), kPoolSize);
      used_ = 0;
    }
    const uint8_t b = pool_[used_++];
    if (b == 0xFF) continue;  // rejected, so the other 255 values stay equally likely
    *out++ = b;
    --count;
  }
}

}  // namespace zor
