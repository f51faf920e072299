#pragma once
// An INI file read and written one value at a time, by section and key. Names
// compare without regard to ASCII case; every other section, key, comment and
// line of the file is left as it is. Each write goes to the file at once.
#include <string>
#include <string_view>

namespace zor {

class TzorIniFile {
 public:
  // Values are read up to this many characters; longer ones are cut.
  static constexpr size_t kMaxValueLength = 2047;

  explicit TzorIniFile(std::string path) : path_(std::move(path)) {}
  const std::string& FileName() const { return path_; }

  // A missing file, section or key gives `default_value`.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view default_value) const;
  // Raises zor::Exception "Unable to write to <path>" when the file cannot be written.
  void WriteString(std::string_view section, std::string_view key, std::string_view value) const;

 private:
  std::string path_;
};

}  // namespace zor
