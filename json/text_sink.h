#pragma once
// Text being rendered: appends to a std::string through a cursor, reserving
// room in large steps instead of checking capacity per character.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "json/number_text.h"

namespace zor {

// Text being rendered by the JSON writer.
class TzorJSONTextSink {
 public:
  // Appends after aText's content; aText must not be used until the sink is gone.
  explicit TzorJSONTextSink(std::string& aText) : FText(aText), FUsed(aText.size()) {}
  TzorJSONTextSink(const TzorJSONTextSink&) = delete;
  TzorJSONTextSink& operator=(const TzorJSONTextSink&) = delete;
  ~TzorJSONTextSink() { FText.resize(FUsed); }

  void Append(char aChar) {
    Reserve(1);
    FText[FUsed++] = aChar;
  }
  void Append(std::string_view aPiece) {
    Reserve(aPiece.size());
    std::memcpy(FText.data() + FUsed, aPiece.data(), aPiece.size());
    FUsed += aPiece.size();
  }
  void AppendDouble(double aValue) {
    Reserve(kDoubleTextRoom);
    FUsed = static_cast<size_t>(WriteDoubleText(FText.data() + FUsed, aValue) - FText.data());
  }
  void AppendInteger(int64_t aValue);

  size_t Size() const { return FUsed; }
  char Back() const { return FText[FUsed - 1]; }
  // Drops what was written after aSize.
  void Truncate(size_t aSize) { FUsed = aSize; }

 private:
  void Reserve(size_t aCount) {
    if (FText.size() - FUsed < aCount) Grow(aCount);
  }
  void Grow(size_t aCount);

  std::string& FText;
  size_t FUsed;
};

}  // namespace zor
