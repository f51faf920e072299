#pragma once
// Content types by file extension: the system's table (/etc/mime.types) over
// a built-in one for the common web files.
#include <string>
#include <string_view>
#include <unordered_map>

namespace zor {

// Content types by lower-case file extension.
class TzorMimeTable {
 public:
  // The built-in types only.
  TzorMimeTable();
  // Adds the types of a mime.types text ("type ext ext ...", "#" comments);
  // they take precedence over the built-in ones.
  void AddFromText(std::string_view text);
  // The type of the file's extension (any case); "application/octet-stream" for unknown ones.
  std::string TypeOfFile(std::string_view fileName) const;

 private:
  std::unordered_map<std::string, std::string> FTypes;
};

// The process-wide table: built-in types with /etc/mime.types read once when present.
const TzorMimeTable& DefaultMimeTable();

}  // namespace zor
