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

}  // namespace zor
