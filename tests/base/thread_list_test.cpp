#include "base/format.h"
#include "base/thread_list.h"
#include "base/thread_safe_string_list.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <memory>
#include <vector>

namespace zor {
namespace {

TEST(TzorThreadList, DuplicatesAreIgnoredAcceptedOrRefused) {
  int a = 1, b = 2;
  TzorThreadList<int*> list;
  list.Add(&a);
  list.Add(&a);
  list.Add(&b);
  EXPECT_EQ(list.Count(), 2u);

  list.SetDuplicates(dupAccept);
  list.Add(&a);
  EXPECT_EQ(list.Count(), 3u);

  list.SetDuplicates(dupError);
  try {
    list.Add(&b);
    FAIL() << "duplicate accepted";
  } catch (const EListError& e) {
    EXPECT_EQ(std::string(e.what()),
              Format("List does not allow duplicates ($0%" PRIXPTR ")", reinterpret_cast<uintptr_t>(&b)));
    EXPECT_STREQ(e.ClassName(), "EListError");
  }
  EXPECT_EQ(list.Count(), 3u);
}

TEST(TzorThreadList, DeleteRemoveAndKeyForms) {
  int a = 1, b = 2, c = 3;
  TzorThreadList<int*> list;
  list.SetDuplicates(dupAccept);
  for (int* p : {&a, &b, &a, &c}) list.Add(p);

  list.Remove(&a);  // the first occurrence only
  list.DeleteKey(2, "ignored");
  list.AddKey(&b, "ignored");
  EXPECT_EQ(list.GetValue("ignored"), nullptr);
  {
    const auto locked = list.Locked();
    EXPECT_EQ(locked.List(), (std::vector<int*>{&b, &a, &b}));
    list.Add(&c);  // the lock is re-entrant
  }
  EXPECT_THROW(list.Delete(4), EListError);
  list.Delete(0);
  const auto& inner = list.LockList();
  EXPECT_EQ(inner, (std::vector<int*>{&a, &b, &c}));
  list.UnlockList();
  list.Clear();
  EXPECT_TRUE(list.IsEmpty());
}

TEST(TzorThreadList, ClearReleasesFromLastToFirst) {
  std::vector<int> released;
  struct Tracked {
    Tracked(std::vector<int>& log, int id) : log(log), id(id) {}
    ~Tracked() { log.push_back(id); }
    std::vector<int>& log;
    int id;
  };
  TzorThreadList<std::shared_ptr<Tracked>> list;
  for (int id = 1; id <= 3; ++id) list.Add(std::make_shared<Tracked>(released, id));
  list.Clear();
  EXPECT_EQ(released, (std::vector<int>{3, 2, 1}));
}

TEST(TzorThreadSafeStringList, FindsIgnoringCaseUnlessCaseSensitive) {
  TzorThreadSafeStringList list;
  EXPECT_EQ(list.Add("Alpha"), 0u);
  list.Add("beta=2");
  list.Add("\xC3\x89t\xC3\xA9");  // Été
  EXPECT_EQ(list.IndexOf("ALPHA"), 0);
  EXPECT_EQ(list.IndexOf("\xC3\xA9T\xC3\x89"), 2);
  EXPECT_EQ(list.IndexOfName("BETA"), 1);
  EXPECT_EQ(list.IndexOfName("beta=2"), -1);
  EXPECT_EQ(list.IndexOf("gamma"), -1);

  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("ALPHA"), -1);
  EXPECT_EQ(list.IndexOfName("beta"), 1);

  EXPECT_THROW(list.Delete(3), EListError);
  EXPECT_THROW(list.Strings(3), EListError);
  list.Delete(0);
  EXPECT_EQ(list.Strings(0), "beta=2");
  EXPECT_EQ(list.Items().size(), 2u);
  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
}  // namespace zor
