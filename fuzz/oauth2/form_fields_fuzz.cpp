// Query and form text of any shape: parsing stays within its bounds, and what
// it reads encodes and parses back to the same pairs.
#include "oauth2/form_fields.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TzorFormFields fields;
  if (!fields.Parse(text)) {
    if (!fields.Empty()) std::abort();
    return 0;
  }
  if (fields.Pairs().size() > TzorFormFields::kMaxFields) std::abort();
  TzorFormFields again;
  const std::string encoded = FormEncodePairs(fields.Pairs());
  if (encoded.size() <= TzorFormFields::kMaxText) {
    if (!again.Parse(encoded)) std::abort();
    if (again.Pairs() != fields.Pairs()) std::abort();
  }
  const std::string redirect = AppendQuery("https://app/cb?x=1", fields.Pairs());
  if (redirect.find_first_of("\r\n ") != std::string::npos) std::abort();
  return 0;
}
