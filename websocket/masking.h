#pragma once
// Frame masking: the XOR with a 4-byte key, and the keys themselves.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace zor {

// The first `size` bytes (a multiple of 32) with the key word `key`, in 32-byte
// blocks: the hot loop of every longer masked frame, built for AVX2 and the
// x86-64 baseline.
void MaskBlocks(uint8_t* dst, const uint8_t* src, size_t size, uint32_t key);

// dst[i] = src[i] ^ key[(keyIndex + i) % 4] for i < size; dst may equal src.
// Inline, so that the short payloads of most frames cost no call.
inline void MaskCopy(uint8_t* dst, const uint8_t* src, size_t size, const uint8_t key[4], size_t keyIndex = 0) {
  static_assert(std::endian::native == std::endian::little, "the key rotation assumes little endian");
  uint32_t k;
  std::memcpy(&k, key, 4);
  k = std::rotr(k, static_cast<int>(keyIndex & 3) * 8);  // byte j is now key[(keyIndex + j) % 4]
  // Below this size a call would cost more than the wider blocks save.
  constexpr size_t kBlocksFrom = 128;
  size_t i = size >= kBlocksFrom ? size & ~size_t{31} : 0;
  if (i != 0) MaskBlocks(dst, src, i, k);
  const uint64_t k8 = static_cast<uint64_t>(k) << 32 | k;
  for (; i + 16 <= size; i += 16) {
    uint64_t w[2];
    std::memcpy(w, src + i, 16);
    w[0] ^= k8;
    w[1] ^= k8;
    std::memcpy(dst + i, w, 16);
  }
  if (i + 8 <= size) {
    uint64_t w;
    std::memcpy(&w, src + i, 8);
    w ^= k8;
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
  for (unsigned shift = 0; i < size; ++i, shift += 8) dst[i] = static_cast<uint8_t>(src[i] ^ (k >> shift));
}

// Key bytes from the CSPRNG, each uniform over 0..254 (0xFF never occurs, which
// peers of this library rely on). Random bytes are fetched in blocks so that a
// small frame does not pay for a generator call of its own. The pool is made
// on the first draw: only clients mask, and an idle server connection should
// not carry it.
class TzorWSKeyBytes {
 public:
  // A whole key at once, inline, when the next bytes are all below 0xFF
  // (nearly always).
  void Draw(uint8_t* out, size_t count) {
    if (count == 4 && used_ + 4 <= kPoolSize) {
      uint32_t w;
      std::memcpy(&w, pool_.get() + used_, 4);
      // ~w has a zero byte exactly where w has 0xFF.
      if ((((~w) - 0x01010101u) & w & 0x80808080u) == 0) {
        std::memcpy(out, &w, 4);
        used_ += 4;
        return;
      }
    }
    DrawEach(out, count);
  }

 private:
  void DrawEach(uint8_t* out, size_t count);

  // One generator call serves about a thousand frames: its fixed cost is
  // several times that of masking a small frame.
  static constexpr size_t kPoolSize = 4096;
  std::unique_ptr<uint8_t[]> pool_;
  size_t used_ = kPoolSize;
};

}  // namespace zor
