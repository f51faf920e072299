#pragma once
// UTF-8 <-> UTF-16 code-unit helpers, for contracts stated in UTF-16 units.
#include <cstdint>
#include <string>
#include <string_view>

namespace zor {

// Decodes one code point at `pos` and advances `pos`. Invalid or truncated
// sequences (overlong forms, surrogates, values above U+10FFFF) give U+FFFD
// and consume one byte.
char32_t DecodeUTF8(std::string_view text, size_t& pos);

// Appends the UTF-8 form of `cp` (U+FFFD for surrogates and out-of-range values).
void AppendUTF8(std::string& out, char32_t cp);

// Number of UTF-16 code units the text needs.
size_t UTF16Length(std::string_view text);

// The UTF-16 code units of the text, and back (lone surrogates become U+FFFD).
std::u16string UTF8ToUTF16(std::string_view text);
std::string UTF16ToUTF8(std::u16string_view units);

// Calls f(unit) for every UTF-16 code unit of the text in order.
template <class F>
void ForEachUTF16Unit(std::string_view text, F&& f) {
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp = DecodeUTF8(text, pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      f(static_cast<char16_t>(0xD800 + (cp >> 10)));
      f(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      f(static_cast<char16_t>(cp));
    }
  }
}

// Appends "\u" and four upper-case hexadecimal digits of the unit.
void AppendUnicodeEscape(std::string& out, char16_t unit);

}  // namespace zor
