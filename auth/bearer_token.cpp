#include "auth/bearer_token.h"

namespace zor {

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

// The value of an Authorization line, or false for other lines. Field names
// hold neither ":" nor "=", so the first of them ends the name.
bool AuthorizationValue(std::string_view line, std::string_view& value) {
  const size_t end = line.find_first_of(":=");
  if (end == std::string_view::npos || !SameLetters(line.substr(0, end), "authorization")) return false;
  value = TrimBlanks(line.substr(end + 1));
  return true;
}

}  // namespace

std::string FindBearerToken(const std::vector<std::string>& aHeaders) {
  for (const std::string& line : aHeaders) {
    std::string_view value;
    if (!AuthorizationValue(line, value)) continue;
    const size_t blank = value.find_first_of(" \t");
    if (blank == std::string_view::npos || !SameLetters(value.substr(0, blank), "bearer")) continue;
    return std::string(TrimBlanks(value.substr(blank + 1)));
  }
  return {};
}

}  // namespace zor
