#pragma once
// Number text of JSON bodies, independent of the user's locale.
#include <cstdint>
#include <string>

namespace zor {

// Room WriteDoubleText needs at `out`: its texts are at most 22 characters
// ("-1.23456789012345E-308"), and it writes scratch bytes beyond them.
inline constexpr int kDoubleTextRoom = 48;

// Writes v rounded to 15 significant digits (halves away from zero), trailing
// zeros removed; fixed notation when the rounded magnitude is at least 1E-4 and
// below 1E15 (and for zero), otherwise the first digit, the remaining digits
// after a ".", then "E", "-" for a negative exponent and the exponent without
// leading zeros. NaN and infinities have no JSON form and give "null".
// `out` needs kDoubleTextRoom bytes of room; returns the end of the text.
char* WriteDoubleText(char* out, double v);

void AppendDoubleText(std::string& out, double v);
void AppendIntegerText(std::string& out, int64_t v);

std::string DoubleToJSONText(double v);

}  // namespace zor
