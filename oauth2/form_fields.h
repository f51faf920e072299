#pragma once
// The name=value pairs of a query or of a form body
// (application/x-www-form-urlencoded), and the encoders for both directions.
// Input is untrusted: sizes and counts are bounded, and a malformed escape is
// an error, never a guess.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zor {

// The name-value pairs of a query or a form body, decoded and bounded.
class TzorFormFields {
 public:
  // Longest query or body read, and most pairs kept.
  static constexpr size_t kMaxText = 16 * 1024;
  static constexpr size_t kMaxFields = 64;

  // Splits at "&" into pairs and decodes names and values ("+" as space,
  // "%XX" escapes). Empty pieces are skipped. False, with no pairs, for text
  // that is too long, has too many pairs or holds a bad escape. With
  // `lowerCaseNames`, names are kept in lower case (for lookups that ignore
  // case).
  bool Parse(std::string_view text, bool lowerCaseNames = false);

  const std::vector<std::pair<std::string, std::string>>& Pairs() const { return FPairs; }
  bool Empty() const { return FPairs.empty(); }
  // How often the name (exact case) occurs.
  size_t Count(std::string_view name) const;
  // The value of the first pair with the name; empty when there is none.
  std::string Value(std::string_view name) const;
  // Names given more than once among `names` (exact case).
  std::vector<std::string> Repeated(const std::vector<std::string_view>& names) const;

 private:
  std::vector<std::pair<std::string, std::string>> FPairs;
};

// "a=1&b=2" from pairs, each name and value form-encoded (PercentEncode with
// spaces as "+").
std::string FormEncodePairs(const std::vector<std::pair<std::string, std::string>>& pairs);
// The address with the pairs appended to its query: "?" when it has none,
// "&" when it has one.
std::string AppendQuery(const std::string& address, const std::vector<std::pair<std::string, std::string>>& pairs);

}  // namespace zor
