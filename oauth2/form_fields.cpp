#include "oauth2/form_fields.h"

#include <algorithm>
#include <cctype>

#include "base/url.h"

namespace zor {

bool TzorFormFields::Parse(std::string_view text, bool lowerCaseNames) {
  FPairs.clear();
  if (text.size() > kMaxText) return false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view piece = text.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    if (FPairs.size() == kMaxFields) return FPairs.clear(), false;
    const size_t equals = piece.find('=');
    std::pair<std::string, std::string> pair;
    const bool ok =
        PercentDecodeStrict(piece.substr(0, equals), true, pair.first) &&
        (equals == std::string_view::npos || PercentDecodeStrict(piece.substr(equals + 1), true, pair.second));
    if (!ok) return FPairs.clear(), false;
    if (lowerCaseNames)
      std::transform(pair.first.begin(), pair.first.end(), pair.first.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    FPairs.push_back(std::move(pair));
  }
  return true;
}

size_t TzorFormFields::Count(std::string_view name) const {
  return static_cast<size_t>(
      std::count_if(FPairs.begin(), FPairs.end(), [&](const auto& pair) { return pair.first == name; }));
}

std::string TzorFormFields::Value(std::string_view name) const {
  for (const auto& pair : FPairs)
    if (pair.first == name) return pair.second;
  return {};
}

std::vector<std::string> TzorFormFields::Repeated(const std::vector<std::string_view>& names) const {
  std::vector<std::string> repeated;
  for (std::string_view name : names)
    if (Count(name) > 1) repeated.emplace_back(name);
  return repeated;
}

std::string FormEncodePairs(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string out;
  for (const auto& [name, value] : pairs) {
    if (!out.empty()) out.push_back('&');
    out += PercentEncode(name, true) + "=" + PercentEncode(value, true);
  }
  return out;
}

std::string AppendQuery(const std::string& address, const std::vector<std::pair<std::string, std::string>>& pairs) {
  const std::string query = FormEncodePairs(pairs);
  if (query.empty()) return address;
  // The pairs go before a fragment, which belongs at the end.
  const size_t hash = address.find('#');
  const std::string base = address.substr(0, hash);
  const char separator = base.find('?') == std::string::npos ? '?' : '&';
  return base + separator + query + (hash == std::string::npos ? "" : address.substr(hash));
}

}  // namespace zor
