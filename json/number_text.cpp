#include "json/number_text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace zor {
namespace {

using u128 = unsigned __int128;

constexpr uint64_t kTen14 = 100000000000000ULL;
constexpr uint64_t kTen15 = 1000000000000000ULL;

// Scales the fast path handles: a 53-bit mantissa times 5^32 still fits in
// 128 bits, and so does 10^24 shifted by the few bits a mantissa of a value
// above 1E15 drops.
constexpr int kMaxFastScale = 32;
constexpr int kMinFastScale = -24;
constexpr int kMaxFastBinaryExponent = 74;

constexpr auto kPowersOfFive = [] {
  std::array<u128, kMaxFastScale + 1> powers{};
  powers[0] = 1;
  for (int i = 1; i <= kMaxFastScale; ++i) powers[i] = powers[i - 1] * 5;
  return powers;
}();

constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819"
    "2021222324252627282930313233343536373839"
    "4041424344454647484950515253545556575859"
    "6061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// round(m * 2^q * 10^k), halves rounded up, computed exactly.
uint64_t ScaleAndRound(uint64_t m, int q, int k) {
  if (k < 0) {
    u128 numerator = m;
    u128 denominator = kPowersOfFive[-k] << -k;
    if (q >= 0) {
      numerator <<= q;
    } else {
      denominator <<= -q;
    }
    u128 quotient = numerator / denominator;
    u128 remainder = numerator % denominator;
    if (remainder >= denominator - remainder) ++quotient;
    return static_cast<uint64_t>(quotient);
  }
  u128 product = static_cast<u128>(m) * kPowersOfFive[k];
  int shift = q + k;
  if (shift >= 0) return static_cast<uint64_t>(product << shift);
  int drop = -shift;
  if (drop >= 128) return 0;
  u128 kept = product >> drop;
  kept += (product >> (drop - 1)) & 1;
  return static_cast<uint64_t>(kept);
}

// The 15 significant digits of v > 0 as an integer in [1E14, 1E15) and the
// decimal exponent of the first digit, for normal values between about 1E-18
// and 1E38 (every value a body realistically carries). False outside.
bool RoundTo15DigitsFast(double v, uint64_t& digits, int& exponent) {
  uint64_t bits = std::bit_cast<uint64_t>(v);
  int biased = static_cast<int>(bits >> 52);
  if (biased == 0) return false;  // subnormal
  if (biased - 1075 > kMaxFastBinaryExponent) return false;
  uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  int q = biased - 1075;
  int binaryExponent = biased - 1023;
  // floor(binaryExponent * log10(2)); off by at most one, corrected below.
  int k = 14 - ((binaryExponent * 78913) >> 18);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (k < kMinFastScale || k > kMaxFastScale) return false;
    uint64_t scaled = ScaleAndRound(mantissa, q, k);
    if (scaled >= kTen15) {
      --k;
    } else if (scaled < kTen14) {
      ++k;
    } else {
      digits = scaled;
      exponent = 14 - k;
      return true;
    }
  }
  return false;
}

// Same result for any finite v > 0 from its decimal expansion. Forty digits
// decide the rounding unless everything after the 16th digit reads as zeros,
// which a carry in the shortened expansion could have produced; then the
// exact expansion (at most 767 significant digits) decides.
void RoundTo15DigitsExact(double v, uint64_t& digits, int& exponent) {
  char text[800];
  auto result = std::to_chars(text, text + sizeof text, v, std::chars_format::scientific, 40);
  // text: d.ddd...de[+-]x
  if (std::string_view(text + 17, 25).find_first_not_of('0') == std::string_view::npos) {
    result = std::to_chars(text, text + sizeof text, v, std::chars_format::scientific, 767);
  }
  digits = static_cast<uint64_t>(text[0] - '0');
  for (int i = 2; i < 16; ++i) digits = digits * 10 + static_cast<uint64_t>(text[i] - '0');
  const char* mark = static_cast<const char*>(std::memchr(text, 'e', result.ptr - text));
  const char* exponentStart = mark + 1;
  if (*exponentStart == '+') ++exponentStart;
  std::from_chars(exponentStart, result.ptr, exponent);
  if (text[16] >= '5') ++digits;
  if (digits == kTen15) {
    digits = kTen14;
    ++exponent;
  }
}

void WritePair(char* out, uint32_t pair) { std::memcpy(out, kDigitPairs + pair * 2, 2); }

// Four digits of n < 10000.
void Write4Digits(char* out, uint32_t n) {
  WritePair(out, n / 100);
  WritePair(out + 2, n % 100);
}

// The 15 digits of n < 1E15, cut into short independent divisions.
void Write15Digits(char* out, uint64_t n) {
  auto high = static_cast<uint32_t>(n / 100000000);  // 7 digits
  auto low = static_cast<uint32_t>(n % 100000000);   // 8 digits
  uint32_t top = high / 10000;                       // 3 digits
  out[0] = static_cast<char>('0' + top / 100);
  WritePair(out + 1, top % 100);
  Write4Digits(out + 3, high % 10000);
  Write4Digits(out + 7, low / 10000);
  Write4Digits(out + 11, low % 10000);
}

}  // namespace

char* WriteDoubleText(char* out, double v) {
  if (!std::isfinite(v)) {
    std::memcpy(out, "null", 4);
    return out + 4;
  }
  if (v == 0) {
    *out = '0';
    return out + 1;
  }
  if (std::signbit(v)) {
    *out++ = '-';
    v = -v;
  }
  uint64_t rounded;
  int exponent;
  if (!RoundTo15DigitsFast(v, rounded, exponent)) RoundTo15DigitsExact(v, rounded, exponent);
  // Copies below move 16 bytes at a time; what lies past the text is scratch.
  char digits[32];
  Write15Digits(digits, rounded);
  int length = 15;
  while (digits[length - 1] == '0') --length;

  if (exponent >= 0 && exponent < 15) {
    // Trailing zeros of the integer part are digits of `rounded` too.
    int integerLength = exponent + 1;
    std::memcpy(out, digits, 16);
    if (length <= integerLength) return out + integerLength;
    out[integerLength] = '.';
    std::memcpy(out + integerLength + 1, digits + integerLength, 16);
    return out + length + 1;
  }
  if (exponent < 0 && exponent >= -4) {
    int zeros = -exponent - 1;
    std::memcpy(out, "0.000000", 8);
    out += 2 + zeros;
    std::memcpy(out, digits, 16);
    return out + length;
  }
  *out++ = digits[0];
  if (length > 1) {
    *out++ = '.';
    std::memcpy(out, digits + 1, 16);
    out += length - 1;
  }
  *out++ = 'E';
  if (exponent < 0) {
    *out++ = '-';
    exponent = -exponent;
  }
  return std::to_chars(out, out + 4, exponent).ptr;
}

void AppendDoubleText(std::string& out, double v) {
  char text[kDoubleTextRoom];
  out.append(text, WriteDoubleText(text, v));
}

void AppendIntegerText(std::string& out, int64_t v) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, v).ptr);
}

std::string DoubleToJSONText(double v) {
  std::string text;
  AppendDoubleText(text, v);
  return text;
}

}  // namespace zor
