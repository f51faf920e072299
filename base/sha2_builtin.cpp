#include "base/sha2_builtin.h"

#include <cstring>

namespace zor {

namespace {

constexpr uint32_t kK256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint64_t kK512[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

template <class W>
constexpr W Rotr(W x, int n) {
  return (x >> n) | (x << (sizeof(W) * 8 - n));
}

template <class W>
W LoadBE(const uint8_t* p) {
  W v = 0;
  for (size_t i = 0; i < sizeof(W); ++i) v = (v << 8) | p[i];
  return v;
}

template <class W>
void StoreBE(W v, uint8_t* p) {
  for (size_t i = sizeof(W); i-- > 0; v >>= 8) p[i] = static_cast<uint8_t>(v);
}

// The two SHA-2 families differ only in word size, round count, constants and
// the rotation amounts of the four sigma functions.
struct Family256 {
  using Word = uint32_t;
  static constexpr int kRounds = 64;
  static constexpr const uint32_t* kK = kK256;
  static Word S0(Word x) { return Rotr(x, 2) ^ Rotr(x, 13) ^ Rotr(x, 22); }
  static Word S1(Word x) { return Rotr(x, 6) ^ Rotr(x, 11) ^ Rotr(x, 25); }
  static Word s0(Word x) { return Rotr(x, 7) ^ Rotr(x, 18) ^ (x >> 3); }
  static Word s1(Word x) { return Rotr(x, 17) ^ Rotr(x, 19) ^ (x >> 10); }
};

struct Family512 {
  using Word = uint64_t;
  static constexpr int kRounds = 80;
  static constexpr const uint64_t* kK = kK512;
  static Word S0(Word x) { return Rotr(x, 28) ^ Rotr(x, 34) ^ Rotr(x, 39); }
  static Word S1(Word x) { return Rotr(x, 14) ^ Rotr(x, 18) ^ Rotr(x, 41); }
  static Word s0(Word x) { return Rotr(x, 1) ^ Rotr(x, 8) ^ (x >> 7); }
  static Word s1(Word x) { return Rotr(x, 19) ^ Rotr(x, 61) ^ (x >> 6); }
};

template <class F>
void Compress(typename F::Word* h, const uint8_t* block) {
  using W = typename F::Word;
  W w[F::kRounds];
  for (int i = 0; i < 16; ++i) w[i] = LoadBE<W>(block + i * sizeof(W));
  for (int i = 16; i < F::kRounds; ++i) w[i] = F::s1(w[i - 2]) + w[i - 7] + F::s0(w[i - 15]) + w[i - 16];
  W a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
  for (int i = 0; i < F::kRounds; ++i) {
    const W t1 = k + F::S1(e) + ((e & f) ^ (~e & g)) + F::kK[i] + w[i];
    const W t2 = F::S0(a) + ((a & b) ^ (a & c) ^ (b & c));
    k = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
  }
  h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e, h[5] += f, h[6] += g, h[7] += k;
}

// Runs the whole digest and writes the first `out_size` bytes of the state.
template <class F>
void Digest(typename F::Word* h, const uint8_t* data, size_t size, uint8_t* out, size_t out_size) {
  using W = typename F::Word;
  constexpr size_t kBlock = 16 * sizeof(W);
  size_t whole = size - size % kBlock;
  for (size_t i = 0; i < whole; i += kBlock) Compress<F>(h, data + i);

  // Padding: 0x80, zeros, then the bit length in the last 2*sizeof(W) bytes.
  uint8_t tail[2 * kBlock] = {};
  const size_t rest = size - whole;
  if (rest) std::memcpy(tail, data + whole, rest);
  tail[rest] = 0x80;
  const size_t tail_size = rest + 1 + 2 * sizeof(W) <= kBlock ? kBlock : 2 * kBlock;
  const uint64_t bits = static_cast<uint64_t>(size) * 8;
  StoreBE<uint64_t>(bits, tail + tail_size - 8);
  for (size_t i = 0; i < tail_size; i += kBlock) Compress<F>(h, tail + i);

  uint8_t full[8 * sizeof(W)];
  for (int i = 0; i < 8; ++i) StoreBE<W>(h[i], full + i * sizeof(W));
  std::memcpy(out, full, out_size);
}

}  // namespace

std::array<uint8_t, 32> BuiltinSHA256(const uint8_t* data, size_t size) {
  uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<uint8_t, 32> out;
  Digest<Family256>(h, data, size, out.data(), out.size());
  return out;
}

std::array<uint8_t, 48> BuiltinSHA384(const uint8_t* data, size_t size) {
  uint64_t h[8] = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17, 0x152fecd8f70e5939,
                   0x67332667ffc00b31, 0x8eb44a8768581511, 0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
  std::array<uint8_t, 48> out;
  Digest<Family512>(h, data, size, out.data(), out.size());
  return out;
}

std::array<uint8_t, 64> BuiltinSHA512(const uint8_t* data, size_t size) {
  uint64_t h[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
                   0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
  std::array<uint8_t, 64> out;
  Digest<Family512>(h, data, size, out.data(), out.size());
  return out;
}

}  // namespace zor
