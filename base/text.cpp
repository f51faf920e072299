#include "base/text.h"

#include "base/utf16.h"

#include <algorithm>
#include <vector>

namespace zor {

std::string ReplaceText(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t hit; (hit = text.find(from, start)) != std::string_view::npos; start = hit + from.size()) {
    out.append(text, start, hit - start);
    out.append(to);
  }
  out.append(text, start);
  return out;
}

namespace {

// Upper case of the code points that have a simple one-to-one mapping in the
// Latin-1, Latin Extended-A, Greek and Cyrillic blocks.
char32_t UpperCase(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x178) {
    const bool pairs_even = (c < 0x138) || (c > 0x148 && c < 0x178);
    if (pairs_even ? (c & 1) : !(c & 1)) return c - 1;
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}

std::u32string UpperCodePoints(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) out += UpperCase(DecodeUTF8(text, pos));
  return out;
}

char ASCIIUpperCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool IsASCII(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Plain ASCII, the usual case (request lines, header names, tokens), is read
// in place: no other code point has an ASCII upper case, so every answer is
// the same as that of the decoded upper-cased code points.
struct ASCIIUpper {
  std::string_view text;
  size_t size() const { return text.size(); }
  char32_t operator[](size_t i) const { return static_cast<unsigned char>(ASCIIUpperCase(text[i])); }
};

// Whether c is in the set mask[from, to) ("abc", "a-z", "!a-z").
template <typename Text>
bool InSet(char32_t c, const Text& mask, size_t from, size_t to) {
  const bool negate = from < to && mask[from] == '!';
  if (negate) ++from;
  bool found = false;
  for (size_t i = from; i < to && !found; ++i) {
    if (i + 2 < to && mask[i + 1] == '-') {
      found = c >= mask[i] && c <= mask[i + 2];
      i += 2;
    } else {
      found = c == mask[i];
    }
  }
  return found != negate;
}

template <typename Text>
bool MatchUpperCase(const Text& text, const Text& mask) {
  // Iterative matcher with one back-tracking point per "*": linear in practice,
  // never exponential.
  constexpr size_t none = static_cast<size_t>(-1);
  size_t t = 0, m = 0, star_m = none, star_t = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star_m = m++;
      star_t = t;
      continue;
    }
    bool step = false;
    size_t next_m = m + 1;
    if (m < mask.size()) {
      if (mask[m] == '?') {
        step = true;
      } else if (mask[m] == '[') {
        size_t close = m + 1;
        while (close < mask.size() && mask[close] != ']') ++close;
        if (close < mask.size()) {
          step = InSet(text[t], mask, m + 1, close);
          next_m = close + 1;
        } else {
          step = text[t] == '[';
        }
      } else {
        step = mask[m] == text[t];
      }
    }
    if (step) {
      ++t;
      m = next_m;
    } else if (star_m != none) {
      m = star_m + 1;
      t = ++star_t;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool ContainsText(std::string_view text, std::string_view sub) {
  // An ASCII part is found by octets in any text: ASCII octets are whole
  // characters, and no other character has an ASCII upper case.
  if (IsASCII(sub)) {
    if (sub.empty()) return true;
    if (sub.size() > text.size()) return false;
    // Candidates are the places of the first character in either case.
    const char upper = ASCIIUpperCase(sub.front());
    const char lower = upper >= 'A' && upper <= 'Z' ? static_cast<char>(upper + 32) : upper;
    for (size_t i = 0, last = text.size() - sub.size(); i <= last; ++i) {
      if (text[i] != upper && text[i] != lower) continue;
      size_t k = 1;
      while (k < sub.size() && ASCIIUpperCase(text[i + k]) == ASCIIUpperCase(sub[k])) ++k;
      if (k == sub.size()) return true;
    }
    return false;
  }
  return UpperCodePoints(text).find(UpperCodePoints(sub)) != std::u32string::npos;
}

bool SameText(std::string_view a, std::string_view b) {
  // Up to the first other octet the texts are ASCII characters, compared in
  // place (the usual case: names that differ early or texts that are ASCII).
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (static_cast<unsigned char>(a[i] | b[i]) >= 0x80) return UpperCodePoints(a) == UpperCodePoints(b);
    if (ASCIIUpperCase(a[i]) != ASCIIUpperCase(b[i])) return false;
  }
  // Otherwise one is longer by at least a character.
  return a.size() == b.size();
}

bool MatchMask(std::string_view text, std::string_view mask) {
  if (IsASCII(text) && IsASCII(mask)) return MatchUpperCase(ASCIIUpper{text}, ASCIIUpper{mask});
  return MatchUpperCase(UpperCodePoints(text), UpperCodePoints(mask));
}

std::string EscapeJSONString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  ForEachUTF16Unit(text, [&](char16_t u) {
    switch (u) {
      case 8: out += "\\b"; return;
      case 9: out += "\\t"; return;
      case 10: out += "\\n"; return;
      case 12: out += "\\f"; return;
      case 13: out += "\\r"; return;
      case '"': case '/': case '\\':
        out += '\\';
        out += static_cast<char>(u);
        return;
      default:
        if (u < 32 || u > 126) {
          AppendUnicodeEscape(out, u);
        } else {
          out += static_cast<char>(u);
        }
    }
  });
  return out;
}

}  // namespace zor
