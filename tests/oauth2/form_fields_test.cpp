// Query and form parsing of untrusted text, and the encoding of the pairs
// that go into redirect addresses and token requests.
#include "oauth2/form_fields.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(FormFields, DecodesPairs) {
  const struct {
    const char* text;
    Pairs pairs;
  } cases[] = {
      {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
      {"user=J+Doe&pw=p%26ss%3D%2B", {{"user", "J Doe"}, {"pw", "p&ss=+"}}},
      {"&&a=&=x&b", {{"a", ""}, {"", "x"}, {"b", ""}}},
      {"e=%E2%82%AC", {{"e", "\xE2\x82\xAC"}}},
      {"crlf=a%0D%0Ab", {{"crlf", "a\r\nb"}}},
      {"", {}},
  };
  for (const auto& c : cases) {
    TzorFormFields fields;
    EXPECT_TRUE(fields.Parse(c.text)) << c.text;
    EXPECT_EQ(fields.Pairs(), c.pairs) << c.text;
  }
}

TEST(FormFields, RefusesMalformedAndOversizedText) {
  const std::string tooMany = [] {
    std::string text;
    for (size_t i = 0; i <= TzorFormFields::kMaxFields; ++i) text += "a=1&";
    return text;
  }();
  for (const std::string& text : {std::string("a=%"), std::string("a=%4"), std::string("a=%G1"),
                                  std::string("%zz=1"), std::string(TzorFormFields::kMaxText + 1, 'x'), tooMany}) {
    TzorFormFields fields;
    EXPECT_FALSE(fields.Parse(text)) << text.substr(0, 40);
    EXPECT_TRUE(fields.Empty());
  }
}

TEST(FormFields, CountsRepeatsAndLowerCasesNamesOnRequest) {
  TzorFormFields fields;
  ASSERT_TRUE(fields.Parse("Code=1&code=2&STATE=s", true));
  EXPECT_EQ(fields.Count("code"), 2u);
  EXPECT_EQ(fields.Value("code"), "1");
  EXPECT_EQ(fields.Value("state"), "s");
  EXPECT_EQ(fields.Repeated({"code", "state", "none"}), std::vector<std::string>{"code"});
}

TEST(FormFields, AppendsToTheQueryBeforeAFragment) {
  const Pairs pairs{{"code", "c 1"}, {"state", "x&y"}};
  EXPECT_EQ(AppendQuery("https://app/cb", pairs), "https://app/cb?code=c+1&state=x%26y");
  EXPECT_EQ(AppendQuery("https://app/cb?v=1", pairs), "https://app/cb?v=1&code=c+1&state=x%26y");
  EXPECT_EQ(AppendQuery("https://app/cb#top", pairs), "https://app/cb?code=c+1&state=x%26y#top");
  EXPECT_EQ(AppendQuery("https://app/cb", {}), "https://app/cb");
}

}  // namespace
}  // namespace zor
