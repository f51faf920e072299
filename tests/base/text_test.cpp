#include "base/text.h"
#include "base/utf16.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

TEST(ReplaceText, EveryOccurrenceCaseSensitive) {
  EXPECT_EQ(ReplaceText("a,b,,c", ",", ""), "abc");
  EXPECT_EQ(ReplaceText("aaa", "aa", "b"), "ba");  // no overlap
  EXPECT_EQ(ReplaceText("Aa", "a", "x"), "Ax");
  EXPECT_EQ(ReplaceText("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceText("", "a", "x"), "");
  EXPECT_EQ(ReplaceText("x", "x", "xx"), "xx");
}

TEST(ContainsText, IgnoresCaseIncludingNonAscii) {
  EXPECT_TRUE(ContainsText("Upgrade: WebSocket", "upgrade: websocket"));
  EXPECT_TRUE(ContainsText("Connection: keep-alive, Upgrade", "UPGRADE"));
  EXPECT_TRUE(ContainsText("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"));  // ÉTÉ / été
  EXPECT_TRUE(ContainsText("\xD0\x9F\xD0\xA0\xD0\x98", "\xD0\xBF\xD1\x80"));  // ПРИ / пр
  EXPECT_FALSE(ContainsText("abc", "abd"));
  EXPECT_TRUE(ContainsText("abc", ""));
  EXPECT_FALSE(ContainsText("ab", "abc"));
  EXPECT_TRUE(ContainsText("/a%2Fb", "%2f"));
  EXPECT_FALSE(ContainsText("\xC3\xA9", "\xC3"));  // whole characters only
  // ASCII parts in texts that are not ASCII.
  EXPECT_TRUE(ContainsText("/\xC3\xA9t\xC3\xA9.JS HTTP/2", ".js "));
  EXPECT_TRUE(ContainsText("\xC3.js", ".JS"));  // a broken sequence ends before the ASCII octet
  EXPECT_FALSE(ContainsText("/\xC4\xB1ndex.html", "index"));  // dotless i
  EXPECT_FALSE(ContainsText("WebSocketMain.\xC5\xBFwf", ".swf"));  // long s
}

TEST(SameText, IgnoresCaseOnEitherPath) {
  const struct {
    std::string_view a, b;
    bool same;
  } cases[] = {
      {"Content-Length", "content-LENGTH", true},   {"Content-Length", "Content-Lengths", false},
      {"a-z@[`{", "A-Z@[`{", true},                 {"@", "`", false},  // neighbours of the letters
      {"", "", true},                               {"x", "", false},
      {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", true},  // Été / éTÉ
      {"\xC3\xA9", "e", false},                     {"S", "\xC5\xBF", false},  // s / long s
      {"\xC4\xB1", "I", false},                     // dotless i
      {"Content-\xC3\xA9", "CONTENT-\xC3\x89", true}, {"Content-\xC3\xA9", "Content-", false},
      {"Host\xC3", "host\xC3", true},                {"a\xC3\xA9", "b\xC3\xA9", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameText(c.a, c.b), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(SameText(c.b, c.a), c.same) << c.b << " / " << c.a;
  }
}

TEST(MatchMask, WildcardsAndSets) {
  EXPECT_TRUE(MatchMask("index.html", "*.HTML"));
  EXPECT_TRUE(MatchMask("abc", "a?c"));
  EXPECT_FALSE(MatchMask("abcd", "a?c"));
  EXPECT_TRUE(MatchMask("", "*"));
  EXPECT_FALSE(MatchMask("", "?"));
  EXPECT_TRUE(MatchMask("a/b/c.txt", "*/*.txt"));
  EXPECT_TRUE(MatchMask("b1", "[abc][0-9]"));
  EXPECT_FALSE(MatchMask("d1", "[abc][0-9]"));
  EXPECT_TRUE(MatchMask("d1", "[!abc]1"));
  EXPECT_TRUE(MatchMask("aXbXc", "*b*"));
  // Sets ignore case too, and an unclosed "[" is a plain character.
  EXPECT_TRUE(MatchMask("B", "[a-c]"));
  EXPECT_TRUE(MatchMask("x", "[!A-C]"));
  EXPECT_TRUE(MatchMask("a[b", "a[b"));
  EXPECT_FALSE(MatchMask("a[b", "a[c"));
  // "?" is one character, however many octets it takes; a non-ASCII text
  // against an ASCII mask still matches by characters and ignores case.
  EXPECT_TRUE(MatchMask("\xC3\xA9t\xC3\xA9", "?T?"));
  EXPECT_TRUE(MatchMask("GET /caf\xC3\xA9.HTML HTTP/1.1", "get *.html *"));
  EXPECT_TRUE(MatchMask("\xC3\x89T\xC3\x89", "[\xC3\xA0-\xC3\xAA]t?"));
  // Many stars on a long text stay fast (no exponential back-tracking).
  EXPECT_FALSE(MatchMask(std::string(5000, 'a'), "*a*a*a*a*a*a*a*b"));
}

TEST(EscapeJSONString, TableOfUnits) {
  EXPECT_EQ(EscapeJSONString("\t"), "\\t");
  EXPECT_EQ(EscapeJSONString("\xC3\xA9"), "\\u00E9");
  EXPECT_EQ(EscapeJSONString("\x7F"), "\\u007F");
  EXPECT_EQ(EscapeJSONString("a\"b/c\\d"), "a\\\"b\\/c\\\\d");
  EXPECT_EQ(EscapeJSONString("\b\n\f\r\x01"), "\\b\\n\\f\\r\\u0001");
  EXPECT_EQ(EscapeJSONString("\xF0\x9F\x98\x80"), "\\uD83D\\uDE00");  // one escape per UTF-16 unit
  EXPECT_EQ(EscapeJSONString(""), "");
}

TEST(UTF16, CountsAndRoundTrips) {
  EXPECT_EQ(UTF16Length("a\xC3\xA9\xF0\x9F\x98\x80"), 4u);
  const std::string s = "x\xE2\x82\xAC\xF0\x9F\x98\x80";
  EXPECT_EQ(UTF16ToUTF8(UTF8ToUTF16(s)), s);
  EXPECT_EQ(UTF16ToUTF8(u"\xD800"), "\xEF\xBF\xBD");  // lone surrogate
  // Overlong, surrogate and truncated forms decode to U+FFFD one byte at a time.
  EXPECT_EQ(UTF8ToUTF16("\xC0\xAF"), std::u16string(u"\xFFFD\xFFFD"));
  EXPECT_EQ(UTF8ToUTF16("\xED\xA0\x80"), std::u16string(u"\xFFFD\xFFFD\xFFFD"));
  EXPECT_EQ(UTF8ToUTF16("\xE2\x82"), std::u16string(u"\xFFFD\xFFFD"));
}

}  // namespace
}  // namespace zor
