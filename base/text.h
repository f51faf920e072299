#pragma once
// Text search, replacement and escaping. Text is UTF-8 in memory; where a
// contract counts UTF-16 code units, the helpers of utf16.h do the counting.
#include <string>
#include <string_view>

namespace zor {

// Every occurrence of `from`, left to right without overlap, replaced by `to`;
// case-sensitive. An empty `from` leaves the text unchanged.
std::string ReplaceText(std::string_view text, std::string_view from, std::string_view to);

// True when `sub` occurs in `text`, ignoring case (Unicode upper-casing for the
// Latin, Greek and Cyrillic ranges; other characters compare as they are).
bool ContainsText(std::string_view text, std::string_view sub);

// True when both texts are equal ignoring case, with ContainsText's case rules.
bool SameText(std::string_view a, std::string_view b);

// Case-insensitive wildcard match of the whole text: "*" any run, "?" one
// character, "[abc]" / "[a-z]" / "[!a-z]" one character of (or not of) a set.
bool MatchMask(std::string_view text, std::string_view mask);

// The text escaped for a JSON string: \b \t \n \f \r, backslash before '"',
// '/' and '\', "\uXXXX" (upper-case hex, per UTF-16 unit) for every other unit
// below 32 or above 126.
std::string EscapeJSONString(std::string_view text);

}  // namespace zor
