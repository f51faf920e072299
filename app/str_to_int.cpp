#include "app/str_to_int.h"

#include "base/exceptions.h"
#include "base/format.h"

#include <charconv>
#include <string>

namespace zor {

int32_t StrToInt(std::string_view text) {
  std::string_view digits = text;
  while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
    throw EConvertError(Format("'%s' is not a valid integer value", std::string(text).c_str()));
  }
  return value;
}

}  // namespace zor
