#include <gtest/gtest.h>

#include <string>

#include "json/json.h"
#include "json/json_instance.h"

namespace zor {
namespace {

TEST(JSONModel, NewDocumentIsEmpty) {
  TzorJSON document;
  EXPECT_EQ(document.Count(), 0);
  EXPECT_FALSE(document.IsArray());
  EXPECT_FALSE(document.EscapeStrings());
  EXPECT_EQ(document.Text(), "{}");
  document.SetIsArray(true);
  EXPECT_EQ(document.Text(), "[]");
}

TEST(JSONModel, AddingAnExistingNameReplacesTheValueInPlace) {
  TzorJSON document;
  document.AddPair("a", 1);
  IzorObjectJSON first = document.AddPair("b", std::string_view("x"));
  document.AddPair("c", 3);
  IzorObjectJSON again = document.AddPair("b", true);
  EXPECT_EQ(again, first);
  EXPECT_EQ(document.Count(), 3);
  EXPECT_EQ(document.Item(1), first);
  // Kind stays string; the Boolean arrives as its lowercase text.
  EXPECT_EQ(first->JSONType(), zorJSONString);
  EXPECT_EQ(std::get<std::string>(first->Value()), "true");
  EXPECT_EQ(document.Text(), R"({"a":1,"b":"true","c":3})");
  document.AddPair("b", false);
  EXPECT_EQ(first->ValueText(), "false");
}

TEST(JSONModel, LookupsAreExactAndBounded) {
  TzorJSON document;
  document.AddPair("id", std::string_view("x"));
  EXPECT_TRUE(document.Node("id"));
  EXPECT_FALSE(document.Node("ID"));
  EXPECT_FALSE(document.Node("i"));
  EXPECT_FALSE(document.Item(document.Count()));
  IzorObjectJSON stranger = TzorJSON().AddPair("z", 1);  // owner gone, handle keeps it
  document.SetItem(document.Count(), stranger);
  document.SetNode("missing", stranger);
  EXPECT_EQ(document.Count(), 1);
  EXPECT_EQ(document.Text(), R"({"id":"x"})");
  try {
    document.Item(-1);
    FAIL() << "a negative index must fail";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
  }
  EXPECT_THROW(document.SetItem(-2, stranger), EListError);
}

TEST(JSONModel, SetReplacesTheEntryAndKeepsTheOldNodeAlive) {
  TzorJSON document;
  IzorObjectJSON old = document.AddPair("a", 1);
  document.AddPair("b", 2);
  TzorJSON other;
  IzorObjectJSON replacement = other.AddPair("c", 3);
  document.SetNode("a", replacement);
  EXPECT_EQ(document.Text(), R"({"c":3,"b":2})");
  EXPECT_EQ(document.Item(0), replacement);
  EXPECT_EQ(old->Name(), "a");
  document.SetItem(1, old);
  EXPECT_EQ(document.Text(), R"({"c":3,"a":1})");
  document.SetNode("c", nullptr);  // an empty entry is refused
  EXPECT_EQ(document.Count(), 2);
  EXPECT_EQ(document.Text(), R"({"c":3,"a":1})");
}

TEST(JSONModel, EmptyNestedMembers) {
  TzorJSON document;
  IzorObjectJSON filter = document.AddObject("filter", "");
  IzorObjectJSON values = document.AddArray("values", "");
  EXPECT_EQ(filter->JSONType(), zorJSONObject);
  EXPECT_EQ(values->JSONType(), zorJSONList);
  EXPECT_EQ(document.Text(), R"({"filter":{},"values":[]})");
}

TEST(JSONModel, StringsBeginningAsJSONAreEmbeddedRaw) {
  TzorJSON document;
  IzorObjectJSON x = document.AddPair("x", "[1,2]");
  EXPECT_FALSE(x->Quoted());
  EXPECT_EQ(document.Text(), R"({"x":[1,2]})");
  // Replacing it with plain text quotes it again.
  document.AddPair("x", "a");
  EXPECT_TRUE(x->Quoted());
  EXPECT_EQ(document.Text(), R"({"x":"a"})");
  document.AddPair("y", R"({"k":1})");
  document.AddPair("q", R"("already quoted")");
  EXPECT_EQ(document.Text(), R"({"x":"a","y":{"k":1},"q":"already quoted"})");
}

TEST(JSONModel, NestedAccessTurnsANodeIntoAnObject) {
  TzorJSON document;
  IzorObjectJSON s = document.AddPair("s", "text");
  EXPECT_EQ(s->Count(), 0);
  EXPECT_EQ(s->JSONType(), zorJSONString);  // Count does not create anything
  EXPECT_FALSE(s->Node("anything"));
  EXPECT_EQ(s->JSONType(), zorJSONObject);
  EXPECT_EQ(document.Text(), R"({"s":{}})");
  IzorObjectJSON list = document.AddArray("l", "");
  EXPECT_FALSE(list->Item(0));
  EXPECT_EQ(list->JSONType(), zorJSONList);  // an array stays an array
}

TEST(JSONModel, ClearOnANodeDetachesItsContent) {
  TzorJSON document;
  IzorObjectJSON values = document.AddArray("values", "[1,2,3]");
  IzorJSON content = values->JSONObject();
  EXPECT_EQ(values->Count(), 3);
  values->Clear();
  EXPECT_EQ(values->Count(), 0);
  EXPECT_EQ(content->Count(), 3);  // the detached document itself is untouched
  EXPECT_EQ(document.Text(), R"({"values":[]})");
  values->JSONObject()->AddPair("0", 7);
  EXPECT_EQ(document.Text(), R"({"values":[7]})");
}

TEST(JSONModel, DocumentClearKeepsItsSwitches) {
  TzorJSON document;
  document.SetIsArray(true);
  document.SetEscapeStrings(true);
  document.AddPair("0", 1);
  document.Clear();
  EXPECT_EQ(document.Count(), 0);
  EXPECT_TRUE(document.IsArray());
  EXPECT_TRUE(document.EscapeStrings());
}

TEST(JSONModel, ANodeOutlivesItsDocumentWhileAHandleIsHeld) {
  IzorObjectJSON node;
  IzorJSON nested;
  {
    TzorJSON document;
    node = document.AddArray("values", "[1,[2,3]]");
    nested = node->Item(1)->JSONObject();
  }
  EXPECT_EQ(node->Name(), "values");
  EXPECT_EQ(node->Count(), 2);
  EXPECT_EQ(node->ValueText(), "[1,[2,3]]");
  EXPECT_EQ(nested->Count(), 2);

  auto* heap = new TzorJSON();
  node = heap->AddPair("n", 5);
  heap->Destroy();
  EXPECT_EQ(node->ValueText(), "5");
  node->SetValue(int64_t{6});
  EXPECT_EQ(TzorJSON().NodeToText(*node, false), R"("n":6)") << "still usable, not yet freed";
}

TEST(JSONModel, RenamedNodesAreFoundByTheirNewName) {
  TzorJSON document;
  for (int i = 0; i < 50; ++i) document.AddPair(std::to_string(i), i);
  EXPECT_EQ(document.Node("37"), document.Item(37));  // long enough for the name index
  document.Item(37)->SetName("renamed");
  EXPECT_FALSE(document.Node("37"));
  EXPECT_EQ(document.Node("renamed"), document.Item(37));
  document.Item(3)->SetName("renamed");
  EXPECT_EQ(document.Node("renamed"), document.Item(3));  // the first one wins
  document.SetItem(3, TzorJSON().AddPair("x", 0));
  EXPECT_EQ(document.Node("renamed"), document.Item(37));
  EXPECT_EQ(document.Node("x"), document.Item(3));
  document.AddPair("renamed", 99);
  EXPECT_EQ(document.Count(), 50);
  EXPECT_EQ(document.Item(37)->ValueText(), "99");
}

TEST(JSONModel, LargeArraysBuildWithDistinctNames) {
  TzorJSON document;
  IzorJSON values = document.AddArray("values", "")->JSONObject();
  for (int i = 0; i < 3000; ++i) values->AddPair(std::to_string(i), i % 7);
  for (int i = 0; i < 3000; i += 3) values->AddPair(std::to_string(i), -1);
  EXPECT_EQ(values->Count(), 3000);
  EXPECT_EQ(values->Item(2997)->ValueText(), "-1");
  EXPECT_EQ(values->Item(2998)->ValueText(), "2");
  EXPECT_EQ(values->Node("1500"), values->Item(1500));
}

TEST(JSONModel, EscapeStringsEscapesNamesAndValuesAsTheyAreAdded) {
  TzorJSON document;
  document.AddPair("p", R"(a/b"c)");
  EXPECT_EQ(document.Text(), R"({"p":"a/b"c"})");  // off: written as stored
  document.Clear();
  document.SetEscapeStrings(true);
  document.AddPair("p", R"(a/b"c)");
  document.AddPair("t", "\t\xC3\xA9\x7F\x01\xF0\x9F\x98\x80");
  document.AddPair(R"(q"n)", "v1");
  document.AddPair(R"(q"n)", "v2");  // found under its escaped name
  EXPECT_EQ(document.Count(), 3);
  EXPECT_EQ(document.Text(), R"({"p":"a\/b\"c","t":"\t\u00E9)"
                             "\x7F"
                             R"(\u0001\uD83D\uDE00","q\"n":"v2"})");
}

TEST(JSONModel, NodesThatWriteNothingLeaveNoSeparators) {
  TzorJSON document;
  document.AddPair("gone", 1)->SetJSONType(zorJSONUndefined);
  document.AddPair("a", 1);
  document.AddPair("mid", 1)->SetJSONType(zorJSONUndefined);
  document.AddPair("b", 2);
  document.AddPair("end", 1)->SetJSONType(zorJSONUndefined);
  EXPECT_EQ(document.Text(), R"({"a":1,"b":2})");
}

// Documents of a subclass, counted, to watch the factory and the lifetimes.
class CountedJSON : public TzorJSON {
 public:
  using TzorJSON::TzorJSON;
  static inline int alive = 0;
  static TzorJSON* Create(TInterfacedComponent* aOwner) {
    ++alive;
    return new CountedJSON(aOwner);
  }
  ~CountedJSON() override { --alive; }
};

class JSONFactory : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = JSONClass.exchange(&CountedJSON::Create);
    CountedJSON::alive = 0;
  }
  void TearDown() override { JSONClass = previous; }
  TzorJSONClass previous = nullptr;
};

TEST_F(JSONFactory, FreeDefersToTheLastHandle) {
  IzorJSON document = CreateJSONInstance();
  ASSERT_TRUE(document);
  IzorObjectJSON node = document->AddPair("kept", 1);
  EXPECT_EQ(CountedJSON::alive, 1);
  FreeJSONInstance(document);
  EXPECT_EQ(CountedJSON::alive, 1);  // still held here
  EXPECT_EQ(document->Count(), 0);   // but already cleared
  EXPECT_EQ(node->Name(), "kept");
  document = nullptr;
  EXPECT_EQ(CountedJSON::alive, 0);
  EXPECT_EQ(node->ValueText(), "1");
}

TEST_F(JSONFactory, AnOwnerDestroysItsDocuments) {
  auto* owner = new TInterfacedComponent();
  CreateJSONInstance(owner)->AddPair("a", 1);
  IzorJSON freed = CreateJSONInstance(owner);
  EXPECT_EQ(CountedJSON::alive, 2);
  FreeJSONInstance(freed);  // not in the module list: destroyed itself
  freed = nullptr;
  EXPECT_EQ(CountedJSON::alive, 1);
  owner->Destroy();
  EXPECT_EQ(CountedJSON::alive, 0);
}

TEST_F(JSONFactory, UnsetClassGivesNullHandles) {
  JSONClass = nullptr;
  EXPECT_FALSE(CreateJSONInstance());
  FreeJSONInstance(nullptr);
}

}  // namespace
}  // namespace zor
