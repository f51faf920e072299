#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "json/json.h"

namespace zor {
namespace {

TEST(JSONWriter, RequestBodyBuiltMemberByMember) {
  TzorJSON document;
  document.AddPair("id", "id1");
  IzorJSON values = document.AddArray("values", "")->JSONObject();
  values->AddPair("0", 0.1);
  values->AddPair("1", 0.2);
  document.AddObject("setMetadata", "")->JSONObject()->AddPair("genre", "drama");
  document.AddPair("namespace", "ns");
  EXPECT_EQ(document.Text(), R"({"id":"id1","values":[0.1,0.2],"setMetadata":{"genre":"drama"},"namespace":"ns"})");
}

TEST(JSONWriter, ScalarKinds) {
  TzorJSON document;
  document.AddPair("n", 5);
  document.AddPair("b", false);
  document.AddPair("z");
  document.AddPair("big", std::numeric_limits<int64_t>::min());
  document.AddPair("u", 4000000000u);
  document.AddPair("nan", std::nan(""));
  document.AddPair("inf", -std::numeric_limits<double>::infinity());
  EXPECT_EQ(document.Text(),
            R"({"n":5,"b":false,"z":null,"big":-9223372036854775808,"u":4000000000,"nan":null,"inf":null})");
}

TEST(JSONWriter, ReadTextIsWrittenBackUnchanged) {
  TzorJSON document;
  document.Read("[0.1, 0.2]");
  EXPECT_EQ(document.Text(), "[0.1,0.2]");
  // Escapes survive a read and a write; raw-looking strings stay quoted.
  document.Read(R"({ "s" : "x\"y\u0041", "e": "[1,2]", "n": -2.5E-3, "t": True })");
  EXPECT_EQ(document.Text(), R"({"s":"x\"y\u0041","e":"[1,2]","n":-2.5E-3,"t":true})");
}

TEST(JSONWriter, NumberTextUsesAFullStop) {
  TzorJSON document;
  IzorObjectJSON n = document.AddPair("n", "1,5");
  n->SetJSONType(zorJSONNumber);
  EXPECT_EQ(document.Text(), R"({"n":1.5})");
  n->SetJSONType(zorJSONString);
  EXPECT_EQ(document.Text(), R"({"n":"1,5"})");
}

TEST(JSONWriter, ValuesOfOtherTypesInStringNodesAreQuoted) {
  TzorJSON document;
  IzorObjectJSON s = document.AddPair("s", "");
  EXPECT_EQ(document.Text(), R"({"s":""})");
  s->SetValue(0.5);
  EXPECT_EQ(document.Text(), R"({"s":"0.5"})");
}

TEST(JSONWriter, ArraysIgnoreElementNamesAndTheNestedSwitch) {
  TzorJSON document;
  document.Read(R"({"y":[1,2],"o":{"a":1}})");
  IzorObjectJSON y = document.Node("y");
  EXPECT_FALSE(y->JSONObject()->IsArray());
  EXPECT_EQ(document.Text(), R"({"y":[1,2],"o":{"a":1}})");
  EXPECT_EQ(y->ValueText(), "[1,2]");
  EXPECT_TRUE(y->JSONObject()->IsArray());  // taking the Value made it one
  EXPECT_EQ(document.Node("o")->ValueText(), R"({"a":1})");

  // An object member whose text was an array keeps its brackets.
  TzorJSON other;
  other.AddObject("x", "[1,true]");
  EXPECT_EQ(other.Text(), R"({"x":[1,true]})");
}

TEST(JSONWriter, NodesRenderedOneByOne) {
  TzorJSON document;
  IzorObjectJSON member = document.AddPair("k", "v");
  EXPECT_EQ(document.NodeToText(*member, false), R"("k":"v")");
  EXPECT_EQ(document.NodeToText(*member, true), R"("v")");
  std::string body = "prefix:";
  document.AppendText(body);
  EXPECT_EQ(body, R"(prefix:{"k":"v"})");
}

// A subclass can take over the rendering of nodes.
class UpperCaseNames : public TzorJSON {
 public:
  using TzorJSON::NodeToText;
  void NodeToText(TzorJSONTextSink& aText, const TzorObjectJSON& aNode, bool aInArray) const override {
    if (aInArray) return TzorJSON::NodeToText(aText, aNode, aInArray);
    aText.Append("\"" + aNode.Name() + "!\":");
    TzorJSON::NodeToText(aText, aNode, true);
  }
};

TEST(JSONWriter, NodeRenderingIsVirtual) {
  UpperCaseNames document;
  document.AddPair("a", 1);
  document.AddPair("b", 2);
  EXPECT_EQ(document.Text(), R"({"a!":1,"b!":2})");
}

}  // namespace
}  // namespace zor
