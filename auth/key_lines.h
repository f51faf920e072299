#pragma once
// Key material held by option objects as a list of text lines (PEM).
#include <string>
#include <string_view>
#include <vector>

namespace zor {

using TzorKeyLines = std::vector<std::string>;

// Splits at CR LF, LF or CR; a final line break adds no empty line.
TzorKeyLines SplitKeyLines(std::string_view text);
// Every line followed by CR LF.
std::string JoinKeyLines(const TzorKeyLines& lines);

}  // namespace zor
