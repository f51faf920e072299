#pragma once
// Escaping of names and string values that documents with EscapeStrings set
// apply as they are added (the writer itself never escapes).
#include <string>
#include <string_view>

namespace zor {

// Per UTF-16 code unit: \b \t \n \f \r; a backslash before '"', '/' and '\';
// "\u" and four upper-case hexadecimal digits for every other unit below 32
// and for every unit from 128 up (two escapes for a character beyond U+FFFF);
// every other unit below 128, 127 included, unchanged.
std::string EscapeJSONText(std::string_view aText);

// The inverse, for readers that need the text itself (the document model keeps
// strings as written): short escapes, "\u" with four hexadecimal digits
// (surrogate pairs joined, a lone surrogate becomes U+FFFD), UTF-8 out. False
// for a malformed escape, leaving aOut unspecified.
bool UnescapeJSONText(std::string_view aText, std::string& aOut);

}  // namespace zor
