#include "app/ini_file.h"

#include "base/exceptions.h"
#include "base/format.h"
#include "base/utf16.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace zor {

namespace {

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

// True for a "[name]" line, with the name of the section it opens.
bool SectionName(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  name = Trim(line.substr(1, line.size() - 2));
  return true;
}

// The key of a "key=value" line, and where its value starts.
bool KeyOf(std::string_view line, std::string_view& key, size_t& value_start) {
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos || Trim(line).starts_with(';')) return false;
  key = Trim(line.substr(0, eq));
  value_start = eq + 1;
  return true;
}

// Cuts to at most kMaxValueLength UTF-16 units without splitting a character.
std::string CutValue(std::string_view value) {
  size_t units = 0, pos = 0;
  while (pos < value.size()) {
    size_t next = pos;
    const char32_t cp = DecodeUTF8(value, next);
    const size_t width = cp >= 0x10000 ? 2 : 1;
    if (units + width > TzorIniFile::kMaxValueLength) break;
    units += width;
    pos = next;
  }
  return std::string(value.substr(0, pos));
}

}  // namespace

std::string TzorIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view default_value) const {
  bool in_section = false;
  for (const std::string& line : ReadLines(path_)) {
    std::string_view name, line_key;
    size_t value_start;
    if (SectionName(line, name)) {
      in_section = SameName(name, section);
    } else if (in_section && KeyOf(line, line_key, value_start) && SameName(line_key, key)) {
      std::string_view value = Trim(std::string_view(line).substr(value_start));
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return CutValue(value);
    }
  }
  return CutValue(default_value);
}

void TzorIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) const {
  std::vector<std::string> lines = ReadLines(path_);
  const std::string entry = std::string(key) + "=" + std::string(value);
  // Replace the key where it stands, else append it to the end of its section,
  // else append a new section.
  bool in_section = false, done = false;
  size_t section_end = lines.size(), i = 0;
  bool found_section = false;
  for (; i < lines.size() && !done; ++i) {
    std::string_view name, line_key;
    size_t value_start;
    if (SectionName(lines[i], name)) {
      if (in_section) break;
      in_section = SameName(name, section);
      if (in_section) found_section = true, section_end = i + 1;
    } else if (in_section) {
      if (KeyOf(lines[i], line_key, value_start) && SameName(line_key, key)) {
        lines[i] = entry;
        done = true;
      } else if (!Trim(lines[i]).empty()) {
        section_end = i + 1;
      }
    }
  }
  if (!done) {
    if (found_section) {
      lines.insert(lines.begin() + static_cast<long>(section_end), entry);
    } else {
      lines.push_back("[" + std::string(section) + "]");
      lines.push_back(entry);
    }
  }
  std::ostringstream text;
  for (const std::string& line : lines) text << line << '\n';
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out << text.str();
  out.flush();
  if (!out) throw Exception(Format("Unable to write to %s", path_.c_str()));
}

}  // namespace zor
