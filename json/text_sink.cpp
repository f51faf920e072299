#include "json/text_sink.h"

#include <algorithm>
#include <charconv>

namespace zor {

void TzorJSONTextSink::AppendInteger(int64_t aValue) {
  Reserve(24);
  FUsed = static_cast<size_t>(std::to_chars(FText.data() + FUsed, FText.data() + FText.size(), aValue).ptr -
                              FText.data());
}

// Room is opened in modest steps: resize fills it, and the string's own
// capacity doubling keeps the growth amortised.
void TzorJSONTextSink::Grow(size_t aCount) { FText.resize(FUsed + std::max(aCount, size_t{4096})); }

}  // namespace zor
