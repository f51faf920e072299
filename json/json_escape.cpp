#include "json/json_escape.h"

#include "base/markup.h"
#include "base/utf16.h"

namespace zor {
namespace {

// Short escapes of the control characters that have one; 0 for the others.
char ShortEscape(unsigned char c) {
  switch (c) {
    case 8: return 'b';
    case 9: return 't';
    case 10: return 'n';
    case 12: return 'f';
    case 13: return 'r';
    case '"': return '"';
    case '/': return '/';
    case '\\': return '\\';
    default: return 0;
  }
}

}  // namespace

std::string EscapeJSONText(std::string_view aText) {
  std::string out;
  out.reserve(aText.size() + aText.size() / 8 + 2);
  size_t pos = 0;
  while (pos < aText.size()) {
    // Copy the run that needs no escape in one go.
    size_t runEnd = pos;
    while (runEnd < aText.size()) {
      auto c = static_cast<unsigned char>(aText[runEnd]);
      if (c < 32 || c >= 128 || c == '"' || c == '/' || c == '\\') break;
      ++runEnd;
    }
    out.append(aText, pos, runEnd - pos);
    pos = runEnd;
    if (pos == aText.size()) break;
    auto c = static_cast<unsigned char>(aText[pos]);
    if (c < 128) {
      if (char letter = ShortEscape(c)) {
        out += '\\';
        out += letter;
      } else {
        AppendUnicodeEscape(out, c);
      }
      ++pos;
      continue;
    }
    // A run of multi-byte characters: one escape per UTF-16 unit.
    size_t wideEnd = pos;
    while (wideEnd < aText.size() && static_cast<unsigned char>(aText[wideEnd]) >= 128) ++wideEnd;
    ForEachUTF16Unit(aText.substr(pos, wideEnd - pos), [&](char16_t unit) { AppendUnicodeEscape(out, unit); });
    pos = wideEnd;
  }
  return out;
}

namespace {

// The value of four hexadecimal digits at aText[aPos], or -1.
int HexUnit(std::string_view aText, size_t aPos) {
  if (aText.size() - aPos < 4) return -1;
  int unit = 0;
  for (size_t i = aPos; i < aPos + 4; ++i) {
    const int digit = HexDigitValue(aText[i]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

char ShortUnescape(char letter) {
  switch (letter) {
    case 'b': return 8;
    case 't': return 9;
    case 'n': return 10;
    case 'f': return 12;
    case 'r': return 13;
    case '"': case '/': case '\\': return letter;
    default: return 0;
  }
}

bool IsHighSurrogate(int unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(int unit) { return unit >= 0xDC00 && unit < 0xE000; }

}  // namespace

bool UnescapeJSONText(std::string_view aText, std::string& aOut) {
  aOut.clear();
  aOut.reserve(aText.size());
  size_t pos = 0;
  while (pos < aText.size()) {
    size_t backslash = aText.find('\\', pos);
    if (backslash == std::string_view::npos) backslash = aText.size();
    aOut.append(aText, pos, backslash - pos);
    pos = backslash;
    if (pos == aText.size()) break;
    if (pos + 1 == aText.size()) return false;
    char letter = aText[pos + 1];
    if (letter != 'u') {
      char plain = ShortUnescape(letter);
      if (!plain) return false;
      aOut += plain;
      pos += 2;
      continue;
    }
    int unit = HexUnit(aText, pos + 2);
    if (unit < 0) return false;
    pos += 6;
    char32_t cp = static_cast<char32_t>(unit);
    if (IsHighSurrogate(unit) && aText.substr(pos, 2) == "\\u" && IsLowSurrogate(HexUnit(aText, pos + 2))) {
      cp = 0x10000 + ((unit - 0xD800) << 10) + (HexUnit(aText, pos + 2) - 0xDC00);
      pos += 6;
    }
    AppendUTF8(aOut, cp);  // a lone surrogate comes out as U+FFFD
  }
  return true;
}

}  // namespace zor
