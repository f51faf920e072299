#pragma once
// An ordered list of complete header lines ("Name: value"), replaced as a
// whole through its text like the request's extra header lines.
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// An ordered list of complete header lines.
class TzorHeaderLines {
 public:
  TzorHeaderLines() = default;
  TzorHeaderLines(std::initializer_list<std::string> lines) : lines_(lines) {}

  // Lines joined with CR LF, each one ending with CR LF.
  std::string Text() const;
  // Replaces every line; CR LF, LF and CR all end a line, and a last line
  // without an ending still counts. Empty text gives no lines.
  void SetText(std::string_view text);

  size_t Count() const { return lines_.size(); }
  const std::string& operator[](size_t index) const { return lines_.at(index); }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Delete(size_t index) { lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index)); }
  void Clear() { lines_.clear(); }
  const std::vector<std::string>& Lines() const { return lines_; }

  // The value of the first line whose name matches (case-insensitive), and
  // whether there is one.
  bool Find(std::string_view name, std::string& value) const;

 private:
  std::vector<std::string> lines_;
};

// The name and value of one header line; the value loses surrounding blanks.
// False when the line has no colon.
bool SplitHeaderLine(std::string_view line, std::string_view& name, std::string_view& value);

bool SameHeaderName(std::string_view a, std::string_view b);

}  // namespace zor
