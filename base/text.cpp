#include "base/text.h"

#include "base/utf16.h"

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

bool InSet(char32_t c, std::u32string_view set) {
  bool negate = !set.empty() && set[0] == '!';
  if (negate) set.remove_prefix(1);
  bool found = false;
  for (size_t i = 0; i < set.size() && !found; ++i) {
    if (i + 2 < set.size() && set[i + 1] == '-') {
      found = c >= set[i] && c <= set[i + 2];
      i += 2;
    } else {
      found = c == set[i];
    }
  }
  return found != negate;
}

}  // namespace

bool ContainsText(std::string_view text, std::string_view sub) {
  return UpperCodePoints(text).find(UpperCodePoints(sub)) != std::u32string::npos;
}

bool SameText(std::string_view a, std::string_view b) {
  // Plain ASCII on both sides, the usual case (header names, tokens): compared
  // in place. No other code point has an ASCII upper case, so the answer is
  // the same as the full comparison's.
  const auto ascii = [](std::string_view text) {
    for (char c : text)
      if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
  };
  if (ascii(a) && ascii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (UpperCase(static_cast<unsigned char>(a[i])) != UpperCase(static_cast<unsigned char>(b[i]))) return false;
    return true;
  }
  return UpperCodePoints(a) == UpperCodePoints(b);
}

bool MatchMask(std::string_view text_utf8, std::string_view mask_utf8) {
  const std::u32string text = UpperCodePoints(text_utf8);
  const std::u32string mask = UpperCodePoints(mask_utf8);
  // Iterative matcher with one back-tracking point per "*": linear in practice,
  // never exponential.
  size_t t = 0, m = 0, star_m = std::u32string::npos, star_t = 0;
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
        const size_t close = mask.find(']', m + 1);
        if (close != std::u32string::npos) {
          step = InSet(text[t], std::u32string_view(mask).substr(m + 1, close - m - 1));
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
    } else if (star_m != std::u32string::npos) {
      m = star_m + 1;
      t = ++star_t;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
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
