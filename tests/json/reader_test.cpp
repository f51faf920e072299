#include <gtest/gtest.h>

#include <string>

#include "json/json.h"

namespace zor {
namespace {

std::string ValueOf(const IzorObjectJSON& node) { return node ? node->ValueText() : "<none>"; }

TEST(JSONReader, ArrayOfNumbersKeepsTheirText) {
  TzorJSON document;
  document.Read("[0.1, 0.2, 0.3]");
  EXPECT_TRUE(document.IsArray());
  ASSERT_EQ(document.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(document.Item(i)->Name(), "");
    EXPECT_EQ(document.Item(i)->JSONType(), zorJSONNumber);
  }
  EXPECT_EQ(std::get<std::string>(document.Item(2)->Value()), "0.3");
}

TEST(JSONReader, DuplicateNamesMissingAndTrailingCommas) {
  TzorJSON document;
  document.Read(R"({"a":1,"a":2})");
  ASSERT_EQ(document.Count(), 2);
  EXPECT_EQ(ValueOf(document.Node("a")), "1");
  document.Read(R"({"a":1 "b":2})");
  EXPECT_EQ(document.Count(), 2);
  EXPECT_EQ(ValueOf(document.Node("b")), "2");
  document.Read(R"({"a":1,})");
  EXPECT_EQ(document.Count(), 1);
  document.Read("[1,2,]");
  EXPECT_EQ(document.Count(), 2);
}

TEST(JSONReader, TopLevelThatIsNotAContainerLeavesAnEmptyDocument) {
  TzorJSON document;
  for (const char* text : {" [1]", "", "5", "\"s\"", "true", "{", "[", "x{}"}) {
    document.Read("[9]");
    document.Read(text);
    EXPECT_EQ(document.Count(), 0) << text;
    EXPECT_EQ(document.IsArray(), text[0] == '[') << text;
  }
  document.Read(" \n\t{\"a\":1}  trailing text is ignored");
  EXPECT_EQ(document.Count(), 1);
}

TEST(JSONReader, NodesCompletedBeforeAFailureStay) {
  TzorJSON document;
  document.Read(R"({"a":1,"b":})");
  ASSERT_EQ(document.Count(), 1);
  EXPECT_EQ(document.Item(0)->Name(), "a");
  document.Read("[1,2,x]");
  EXPECT_EQ(document.Count(), 2);
  // A nested node joins even when its content fails.
  document.Read(R"({"a":[1,2,{"b":true,"c":)");
  ASSERT_EQ(document.Count(), 1);
  EXPECT_EQ(document.Text(), R"({"a":[1,2,{"b":true}]})");
  document.Read(R"({"a":tru})");
  EXPECT_EQ(document.Count(), 0);
}

TEST(JSONReader, StringsAreKeptRaw) {
  TzorJSON document;
  document.Read(R"({"s":"x\"y"})");
  EXPECT_EQ(ValueOf(document.Node("s")), R"(x\"y)");
  document.Read(R"({"u":"\u00e9!", "k\"ey":"v"})");
  EXPECT_EQ(ValueOf(document.Node("u")), R"(\u00e9!)");
  EXPECT_EQ(ValueOf(document.Node(R"(k\"ey)")), "v");
}

TEST(JSONReader, QuoteAfterAnEscapedBackslash) {
  TzorJSON document;
  document.Read(R"({"p":"C:\\"})");
  EXPECT_EQ(ValueOf(document.Node("p")), R"(C:\\)");
  document.Read(R"(["C:\\","D:\\"])");
  EXPECT_EQ(document.Count(), 2);
  EXPECT_EQ(ValueOf(document.Item(1)), R"(D:\\)");
  // Followed by a space, the quote belongs to the string, which never ends.
  document.Read(R"({"p":"C:\\" })");
  EXPECT_EQ(document.Count(), 0);
  // After a quote that belongs to the string, the next step is escape-aware:
  // here it takes the backslash and the last quote together, so nothing
  // closes the string.
  document.Read(R"(["\\"\"])");
  EXPECT_EQ(document.Count(), 0);
  document.Read(R"(["\\"\"x", 1])");
  ASSERT_EQ(document.Count(), 2);
  EXPECT_EQ(ValueOf(document.Item(0)), R"(\\"\"x)");
}

TEST(JSONReader, UnicodeEscapeSpansFourUTF16Units) {
  TzorJSON document;
  // After "\u" come four units: two e-acutes, the quote and x; the string
  // ends at the second quote.
  document.Read("{\"s\":\"\\u\xC3\xA9\xC3\xA9\"x\"}");
  ASSERT_EQ(document.Count(), 1);
  EXPECT_EQ(ValueOf(document.Node("s")), "\\u\xC3\xA9\xC3\xA9\"x");
  // A character beyond U+FFFF counts as two units.
  document.Read("{\"s\":\"\\u\xF0\x9F\x98\x80zz\"}");
  EXPECT_EQ(ValueOf(document.Node("s")), "\\u\xF0\x9F\x98\x80zz");
  // Too few characters left after "\u", or a final backslash: no string.
  document.Read(R"({"s":"\u12"})");
  EXPECT_EQ(document.Count(), 0);
  document.Read("{\"s\":\"abc\\");
  EXPECT_EQ(document.Count(), 0);
}

TEST(JSONReader, LiteralsInAnyCase) {
  TzorJSON document;
  document.Read(R"({"k":TRUE,"n":Null,"f":fAlSe})");
  ASSERT_EQ(document.Count(), 3);
  EXPECT_EQ(document.Item(0)->JSONType(), zorJSONBoolean);
  EXPECT_EQ(ValueOf(document.Item(0)), "true");
  EXPECT_EQ(document.Item(1)->JSONType(), zorJSONNull);
  EXPECT_EQ(ValueOf(document.Item(1)), "null");
  EXPECT_EQ(ValueOf(document.Item(2)), "false");
  EXPECT_EQ(document.Text(), R"({"k":true,"n":null,"f":false})");
}

TEST(JSONReader, HashCommentsRunToTheEndOfTheLine) {
  TzorJSON document;
  document.Read("{\"a\":1, # note, \"x\":9\n\"b\":2}");
  ASSERT_EQ(document.Count(), 2);
  EXPECT_EQ(ValueOf(document.Node("b")), "2");
  document.Read("[1 # no end of line");
  EXPECT_EQ(document.Count(), 1);
  EXPECT_TRUE(document.IsArray());
}

TEST(JSONReader, NestedStructure) {
  TzorJSON document;
  document.Read(R"({"x":{"y":[1,2]}})");
  IzorObjectJSON x = document.Node("x");
  ASSERT_TRUE(x);
  EXPECT_EQ(x->JSONType(), zorJSONObject);
  IzorObjectJSON y = x->Node("y");
  ASSERT_TRUE(y);
  EXPECT_EQ(y->JSONType(), zorJSONList);
  EXPECT_EQ(y->Count(), 2);
  EXPECT_EQ(y->Item(1)->Name(), "");
  EXPECT_FALSE(y->NestedJSON()->IsArray());
  EXPECT_EQ(ValueOf(y), "[1,2]");
  EXPECT_TRUE(y->NestedJSON()->IsArray());
}

TEST(JSONReader, NumberForms) {
  TzorJSON document;
  document.Read("[+1, 007, 1e5, -2.5E-3, 3e+2]");
  ASSERT_EQ(document.Count(), 5);
  EXPECT_EQ(document.Text(), "[+1,007,1e5,-2.5E-3,3e+2]");
  for (const char* bad : {"[1.]", "[.5]", "[1e]", "[-]", "[1.e5]", "[2e+]"}) {
    document.Read(bad);
    EXPECT_EQ(document.Count(), 0) << bad;
  }
}

// Digit runs of every length, in each part of a number, at every offset, end
// exactly at the first character that is not a digit, also at the text's end
// and next to the characters just below '0' and just above '9'.
TEST(JSONReader, DigitRunsEndAtTheFirstOtherCharacter) {
  const std::string digits = "98765432109876543210987654";
  const std::string ends[] = {"", ",", "]", " ", "/", ":", "\xFA", "\xFF"};
  const std::string forms[] = {"", "-0.", "4E+"};
  TzorJSON document;
  for (size_t length = 1; length <= digits.size(); ++length) {
    for (const std::string& form : forms) {
      for (size_t indent = 0; indent < 8; ++indent) {
        for (const std::string& end : ends) {
          const std::string number = form + digits.substr(0, length);
          document.Read("[" + std::string(indent, ' ') + number + end);
          ASSERT_EQ(document.Count(), 1) << number << end;
          EXPECT_EQ(ValueOf(document.Item(0)), number) << end;
        }
      }
    }
  }
}

TEST(JSONReader, AddObjectAndAddArrayReadTheirText) {
  TzorJSON document;
  IzorObjectJSON object = document.AddObject("o", R"({"a":1})");
  IzorObjectJSON array = document.AddArray("l", "[1, 2]");
  EXPECT_EQ(object->Count(), 1);
  EXPECT_TRUE(array->NestedJSON()->IsArray());
  EXPECT_EQ(document.Text(), R"({"o":{"a":1},"l":[1,2]})");
  // Adding to an existing name stores the text without reading it.
  document.AddObject("o", R"({"b":2})");
  EXPECT_EQ(object->Count(), 1);
  EXPECT_EQ(document.Text(), R"({"o":{"a":1},"l":[1,2]})");
}

std::string Nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

TEST(JSONReader, NestingStopsAtAThousandLevels) {
  TzorJSON document;
  document.Read(Nested(1000));
  EXPECT_EQ(document.Text(), Nested(1000));
  // One level more fails there; the levels above it stay.
  document.Read(Nested(1001));
  EXPECT_EQ(document.Text(), Nested(1000));
  document.Read(std::string(200000, '[') + "{\"a\":" + std::string(200000, '{'));
  EXPECT_EQ(document.Text(), Nested(1000));
}

}  // namespace
}  // namespace zor
