#include "base/string_list.h"

namespace zor {

std::string TzorDelimitedStringList::DelimitedText() const {
  std::string text;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i) text += delimiter_;
    text += items_[i];
  }
  return text;
}

void TzorDelimitedStringList::SetDelimitedText(std::string_view text) {
  items_.clear();
  if (text.empty()) return;
  for (size_t start = 0;;) {
    const size_t end = text.find(delimiter_, start);
    items_.emplace_back(text.substr(start, end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

}  // namespace zor
