#include "json/json_escape.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

std::string Unescaped(std::string_view aText) {
  std::string out;
  EXPECT_TRUE(UnescapeJSONText(aText, out)) << aText;
  return out;
}

TEST(JSONEscape, UnescapeUndoesEscape) {
  const std::string texts[] = {
      "",
      "plain",
      R"(a/b"c\d)",
      "\b\t\n\f\r\x01\x1F\x7F",
      "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
      "\\u0041 is not an escape once escaped",
  };
  for (const std::string& text : texts) EXPECT_EQ(Unescaped(EscapeJSONText(text)), text);
}

TEST(JSONEscape, UnescapeAcceptsEitherCaseAndJoinsSurrogatePairs) {
  EXPECT_EQ(Unescaped(R"(\u00e9\u00E9)"), "\xC3\xA9\xC3\xA9");
  EXPECT_EQ(Unescaped(R"(\ud83d\ude00)"), "\xF0\x9F\x98\x80");
  // A surrogate without its partner cannot be UTF-8: U+FFFD.
  EXPECT_EQ(Unescaped(R"(\uD83Dx)"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Unescaped(R"(\uDE00)"), "\xEF\xBF\xBD");
  EXPECT_EQ(Unescaped(R"(\uD83D\u0041)"), "\xEF\xBF\xBD" "A");
}

TEST(JSONEscape, MalformedEscapesAreRefused) {
  for (std::string_view bad : {R"(\)", R"(a\q)", R"(\u12)", R"(\u12G4)", R"(\x41)"}) {
    std::string out;
    EXPECT_FALSE(UnescapeJSONText(bad, out)) << bad;
  }
}

}  // namespace
}  // namespace zor
