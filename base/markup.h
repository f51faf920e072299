#pragma once
// Character-level codes that the HTTP and HTML writers share.
#include <string>
#include <string_view>

namespace zor {

// The text with &, <, >, " and ' as character references.
std::string EscapeHTML(std::string_view text);

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);

}  // namespace zor
