// The lenient reader: comments ("#" to the end of the line), missing and
// trailing commas and literals in any case are accepted; string contents are
// kept exactly as written (escapes are not decoded); a failed object or array
// sets the position back to where it began and reports failure to its caller,
// keeping the nodes completed before the failure point. Nothing is reported
// to the caller of Read.
#include <bit>
#include <cstdint>
#include <cstring>

#include "base/utf16.h"
#include "json/json.h"

namespace zor {
namespace {

// Hostile input must not overflow the stack: deeper nesting fails there.
constexpr int kMaxNestingLevels = 1000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

static_assert(std::endian::native == std::endian::little, "NotDigitBytes reads characters little-endian");

// Eight characters in memory order: a byte of the result is
// non-zero where the character is not a digit. A byte below 0x30 or above
// 0x39 leaves the 0x3_ pattern either as it is or once 6 is added; carries
// only run towards later characters, so the first non-digit is exact.
uint64_t NotDigitBytes(uint64_t aWord) {
  constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ULL;
  constexpr uint64_t kDigitHigh = 0x3030303030303030ULL;
  constexpr uint64_t kSix = 0x0606060606060606ULL;
  return ((aWord & kHigh) ^ kDigitHigh) | (((aWord + kSix) & kHigh) ^ kDigitHigh);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

class TzorJSONReader {
 public:
  explicit TzorJSONReader(std::string_view aText) : FText(aText) {}

  // One object ('{') or array ('[') at the current position into aDocument;
  // aLevel counts the containers this one is nested in, itself included.
  bool ReadContainer(TzorJSON& aDocument, char aOpen, int aLevel) {
    const bool isArray = aOpen == '[';
    const char close = isArray ? ']' : '}';
    const size_t start = FPos;
    SkipSpace();
    if (AtEnd() || FText[FPos] != aOpen) return Fail(start);
    ++FPos;
    while (!AtEnd()) {
      SkipSpace();
      if (!AtEnd() && FText[FPos] == close) {
        ++FPos;
        return true;
      }
      std::string_view name;
      if (!isArray) {
        const size_t keyStart = FPos;
        if (!ReadStringToken()) return Fail(start);
        name = FText.substr(keyStart + 1, FPos - keyStart - 2);
        SkipSpace();
        if (AtEnd() || FText[FPos] != ':') return Fail(start);
        ++FPos;
        SkipSpace();
      }
      if (!ReadValue(aDocument, name, aLevel)) return Fail(start);
      SkipSpace();
      if (!AtEnd() && FText[FPos] == ',') ++FPos;  // optional, also before the end
    }
    return Fail(start);
  }

 private:
  bool AtEnd() const { return FPos >= FText.size(); }

  bool Fail(size_t aStart) {
    FPos = aStart;
    return false;
  }

  const char* Here() const { return FText.data() + FPos; }
  const char* End() const { return FText.data() + FText.size(); }
  // The hot loops run on local pointers: a store to FPos per character would
  // otherwise be forced by the char reads, which may alias it.
  void MoveTo(const char* aHere) { FPos = static_cast<size_t>(aHere - FText.data()); }

  void SkipSpace() {
    const char* p = Here();
    const char* const end = End();
    while (p != end) {
      const char c = *p;
      if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f') {
        ++p;
      } else if (c == '#') {
        const void* lineEnd = std::memchr(p, '\n', static_cast<size_t>(end - p));
        p = lineEnd ? static_cast<const char*>(lineEnd) : end;
      } else {
        break;
      }
    }
    MoveTo(p);
  }

  bool ReadValue(TzorJSON& aDocument, std::string_view aName, int aLevel) {
    SkipSpace();
    const size_t valueStart = FPos;
    if (AtEnd()) return false;
    switch (FText[FPos]) {
      case '"':
        if (!ReadStringToken()) return false;
        Append(aDocument, aName, zorJSONString, FText.substr(valueStart + 1, FPos - valueStart - 2));
        return true;
      case '+': case '-':
      case '0': case '1': case '2': case '3': case '4':
      case '5': case '6': case '7': case '8': case '9':
        if (!ReadNumber()) return false;
        Append(aDocument, aName, zorJSONNumber, FText.substr(valueStart, FPos - valueStart));
        return true;
      case 't': case 'T':
        return ReadLiteral(aDocument, aName, zorJSONBoolean, "true");
      case 'f': case 'F':
        return ReadLiteral(aDocument, aName, zorJSONBoolean, "false");
      case 'n': case 'N':
        return ReadLiteral(aDocument, aName, zorJSONNull, "null");
      case '[':
      case '{':
        return ReadNested(aDocument, aName, FText[FPos], aLevel);
      default:
        return false;
    }
  }

  bool ReadLiteral(TzorJSON& aDocument, std::string_view aName, TzorJSONtype aKind, std::string_view aWord) {
    if (FText.size() - FPos < aWord.size()) return false;
    for (size_t i = 0; i < aWord.size(); ++i) {
      if (Lower(FText[FPos + i]) != aWord[i]) return false;
    }
    FPos += aWord.size();
    Append(aDocument, aName, aKind, aWord);
    return true;
  }

  // The node of a nested object or array joins the document even when its
  // content fails, holding what was read up to the failure point.
  bool ReadNested(TzorJSON& aDocument, std::string_view aName, char aOpen, int aLevel) {
    if (aLevel >= kMaxNestingLevels) return false;
    auto* node = new TzorObjectJSON(&aDocument);
    node->FName.assign(aName);
    node->FJSONType = aOpen == '[' ? zorJSONList : zorJSONObject;
    auto* nested = new TzorJSON(node);
    node->FJSONObject = nested;
    bool read = ReadContainer(*nested, aOpen, aLevel + 1);
    aDocument.FData.Add(node);
    return read;
  }

  static void Append(TzorJSON& aDocument, std::string_view aName, TzorJSONtype aKind, std::string_view aValue) {
    auto* node = new TzorObjectJSON(&aDocument, aKind, aValue);
    if (!aName.empty()) node->FName.assign(aName);  // array elements have none
    aDocument.FData.Add(node);
  }

  // A quoted string. A quote after a backslash ends the string only when a
  // '}', ']' or ',' follows it (so "C:\\" still ends before '}'); otherwise
  // it is stepped over together with the character after it.
  bool ReadStringToken() {
    const size_t start = FPos;
    SkipSpace();
    if (AtEnd() || FText[FPos] != '"') return Fail(start);
    ++FPos;
    while (!AtEnd()) {
      if (FText[FPos] == '"') {
        const char next = FPos + 1 < FText.size() ? FText[FPos + 1] : '\0';
        const bool ends = FText[FPos - 1] != '\\' || next == '}' || next == ']' || next == ',';
        ++FPos;
        if (ends) return true;
        if (AtEnd()) break;
      }
      if (!SkipCharacter()) break;
    }
    return Fail(start);
  }

  // One character, an escape sequence as a whole.
  bool SkipCharacter() {
    if (FText[FPos] == '\\') return SkipEscape();
    ++FPos;
    return true;
  }

  // A backslash and what it escapes: "\u" and four more characters (not
  // checked to be hexadecimal digits), or the backslash and one character.
  bool SkipEscape() {
    if (FPos + 1 >= FText.size()) return false;
    if (FText[FPos + 1] != 'u') {
      FPos += 2;
      return true;
    }
    // Four characters counted as UTF-16 code units.
    size_t pos = FPos + 2;
    int units = 0;
    while (units < 4 && pos < FText.size()) {
      if (static_cast<unsigned char>(FText[pos]) < 0x80) {
        ++pos;
        ++units;
      } else {
        units += DecodeUTF8(FText, pos) >= 0x10000 ? 2 : 1;
      }
    }
    if (units < 4) return false;
    FPos = pos;
    return true;
  }

  // [+-] digits [. digits] [(e|E) [+-] digits]; the position stays where it
  // was when the number fails.
  bool ReadNumber() {
    const char* p = Here();
    const char* const end = End();
    if (*p == '+' || *p == '-') ++p;
    if (!SkipDigits(p, end)) return false;
    if (p != end && *p == '.') {
      ++p;
      if (!SkipDigits(p, end)) return false;
    }
    if (p != end && (*p == 'e' || *p == 'E')) {
      ++p;
      if (p != end && (*p == '+' || *p == '-')) ++p;
      if (!SkipDigits(p, end)) return false;
    }
    MoveTo(p);
    return true;
  }

  // Eight characters at a time while eight remain: number arrays carry
  // fractions of fifteen digits and more.
  static bool SkipDigits(const char*& aHere, const char* aEnd) {
    const char* const first = aHere;
    while (aEnd - aHere >= 8) {
      uint64_t word;
      std::memcpy(&word, aHere, 8);
      const uint64_t notDigits = NotDigitBytes(word);
      if (notDigits != 0) {
        aHere += std::countr_zero(notDigits) / 8;
        return aHere != first;
      }
      aHere += 8;
    }
    while (aHere != aEnd && IsDigit(*aHere)) ++aHere;
    return aHere != first;
  }

  std::string_view FText;
  size_t FPos = 0;
};

void TzorJSON::Read(std::string_view aText) {
  Clear();
  FIsArray = !aText.empty() && aText[0] == '[';
  TzorJSONReader reader(aText);
  reader.ReadContainer(*this, FIsArray ? '[' : '{', 1);
}

}  // namespace zor
