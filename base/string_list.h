#pragma once
// A list of strings whose delimited text is split strictly: only the delimiter
// separates items, spaces and quotes are ordinary characters.
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// A list of texts joined and split at one delimiter character.
class TzorDelimitedStringList {
 public:
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char delimiter) { delimiter_ = delimiter; }

  std::string DelimitedText() const;
  // Replaces the items; empty text gives no items.
  void SetDelimitedText(std::string_view text);

  size_t Count() const { return items_.size(); }
  const std::string& operator[](size_t index) const { return items_.at(index); }
  void Add(std::string item) { items_.push_back(std::move(item)); }
  void Clear() { items_.clear(); }
  const std::vector<std::string>& Items() const { return items_; }

 private:
  char delimiter_ = ',';
  std::vector<std::string> items_;
};

}  // namespace zor
