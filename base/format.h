#pragma once
// printf-style formatting of the library's message templates ("%s", "%d").
#include <cstdio>
#include <string>
#include <utility>

namespace zor {

template <class... Args>
std::string Format(const char* pattern, Args&&... args) {
  int n = std::snprintf(nullptr, 0, pattern, std::forward<Args>(args)...);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  std::snprintf(out.data(), out.size() + 1, pattern, std::forward<Args>(args)...);
  return out;
}

}  // namespace zor
