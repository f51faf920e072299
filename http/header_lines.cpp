#include "http/header_lines.h"

#include <strings.h>

namespace zor {

std::string TzorHeaderLines::Text() const {
  std::string out;
  for (const std::string& line : lines_) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void TzorHeaderLines::SetText(std::string_view text) {
  lines_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines_.emplace_back(text.substr(start));
      break;
    }
    lines_.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

bool TzorHeaderLines::Find(std::string_view name, std::string& value) const {
  for (const std::string& line : lines_) {
    std::string_view line_name, line_value;
    if (SplitHeaderLine(line, line_name, line_value) && SameHeaderName(line_name, name)) {
      value = std::string(line_value);
      return true;
    }
  }
  return false;
}

bool SplitHeaderLine(std::string_view line, std::string_view& name, std::string_view& value) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  name = line.substr(0, colon);
  value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  return true;
}

bool SameHeaderName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace zor
