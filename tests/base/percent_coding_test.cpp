// The one percent-decoder behind paths, query strings and form bodies, in its
// lenient and strict modes, and the encoder whose output it must read back.
#include "base/url.h"

#include <gtest/gtest.h>

#include <optional>

namespace zor {
namespace {

using namespace std::string_literals;

TEST(PercentDecode, EscapesPlusAndBadEscapesInBothModes) {
  const struct {
    std::string text;
    bool plusIsSpace;
    std::string lenient;
    std::optional<std::string> strict;  // nothing: the strict decoder refuses the text
  } cases[] = {
      {"", false, "", ""},
      {"plain", false, "plain", "plain"},
      {"%41%42c", false, "ABc", "ABc"},
      {"%4a%4A%e2%82%AC", false, "JJ\xE2\x82\xAC", "JJ\xE2\x82\xAC"},  // either case of hex digit
      {"a%00b", false, "a\0b"s, "a\0b"s},                              // a NUL byte is a byte
      {"%2F%2e%2E", false, "/..", "/.."},
      {"a+b%2B", false, "a+b+", "a+b+"},
      {"a+b%2B", true, "a b+", "a b+"},  // only a literal "+" is a space
      {"+%20+", true, "   ", "   "},
      {"%", false, "%", std::nullopt},  // truncated escapes
      {"a%4", false, "a%4", std::nullopt},
      {"%4%41", false, "%4A", std::nullopt},
      {"%zz", false, "%zz", std::nullopt},  // not hexadecimal
      {"%G1", false, "%G1", std::nullopt},
      {"%1G", false, "%1G", std::nullopt},
      {"%+1", true, "% 1", std::nullopt},
      {"%%41", false, "%A", std::nullopt},
      {"50%", true, "50%", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PercentDecode(c.text, c.plusIsSpace), c.lenient) << c.text;
    std::string strict = "left over";
    EXPECT_EQ(PercentDecodeStrict(c.text, c.plusIsSpace, strict), c.strict.has_value()) << c.text;
    EXPECT_EQ(strict, c.strict.value_or("")) << c.text;
  }
}

TEST(PercentEncode, KeepsUnreservedAndEscapesEveryOtherByte) {
  const struct {
    std::string text;
    bool spaceAsPlus;
    std::string encoded;
  } cases[] = {
      {"a b&c=d/e:f~g.h-i_j", true, "a+b%26c%3Dd%2Fe%3Af~g.h-i_j"},
      {"a b/c?d#e%f", false, "a%20b%2Fc%3Fd%23e%25f"},  // one path segment
      {"+", true, "%2B"},
      {"\r\n<\xC3\xA9>\0"s, true, "%0D%0A%3C%C3%A9%3E%00"},
  };
  for (const auto& c : cases) EXPECT_EQ(PercentEncode(c.text, c.spaceAsPlus), c.encoded) << c.text;
}

TEST(PercentEncode, EveryByteDecodesBackInEitherMode) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  for (const bool plus : {false, true}) {
    std::string back;
    ASSERT_TRUE(PercentDecodeStrict(PercentEncode(all, plus), plus, back));
    EXPECT_EQ(back, all);
    EXPECT_EQ(PercentDecode(PercentEncode(all, plus), plus), all);
  }
}

}  // namespace
}  // namespace zor
