#include "json/json_escape.h"

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

}  // namespace zor
