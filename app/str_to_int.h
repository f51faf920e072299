#pragma once
#include <cstdint>
#include <string_view>

namespace zor {

// Decimal integer text (optional sign, leading blanks allowed) in 32-bit range;
// anything else fails with EConvertError "'<text>' is not a valid integer value".
int32_t StrToInt(std::string_view text);

}  // namespace zor
