#include "base/cache_queue.h"
#include "base/queue.h"
#include "base/queue_name_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zor {
namespace {

TzorQueueItem Item(const std::string& id, int64_t order = 0) {
  auto item = std::make_shared<TzorQueueItemBase>(id);
  item->SetOrder(order);
  return item;
}

std::vector<std::string> IDs(const TzorQueueBase& queue) {
  std::vector<std::string> ids;
  for (const auto& item : queue.Locked().List()) ids.push_back(item->ID());
  return ids;
}

std::vector<std::string> Names(const TzorCacheQueueListBase& list) {
  std::vector<std::string> names;
  for (const auto& bucket : list.Locked().List()) names.push_back(bucket->QueueName());
  return names;
}

TEST(TzorFIFOQueue, EvictsTheOldestWhenFull) {
  TzorFIFOQueue queue;
  queue.SetMaxItems(2);
  for (const char* id : {"A", "B", "C"}) queue.AddItem(Item(id));
  EXPECT_EQ(IDs(queue), (std::vector<std::string>{"B", "C"}));
  EXPECT_EQ(queue.GetItem("A"), nullptr);

  queue.SetMaxItems(0);  // unbounded
  for (const char* id : {"D", "E", "F"}) queue.AddItem(Item(id));
  EXPECT_EQ(queue.Count(), 5u);
}

TEST(TzorQueueBase, LookupsFindTheFirstItemOfAnIdAsTheQueueChanges) {
  TzorQueue queue;
  const auto first = Item("x", 1), second = Item("x", 2), third = Item("x", 3);
  queue.AddItem(Item("y"));
  queue.AddItem(first);
  queue.AddItem(second);
  queue.AddItem(third);
  queue.AddItem(nullptr);  // ignored
  EXPECT_EQ(queue.Count(), 4u);
  EXPECT_EQ(queue.GetItem("x"), first);
  EXPECT_EQ(queue.GetItem("X"), nullptr);  // case-sensitive

  EXPECT_TRUE(queue.DeleteItem(size_t{2}));  // `second`, not the first of its ID
  EXPECT_EQ(queue.GetItem("x"), first);
  EXPECT_TRUE(queue.DeleteItem("x"));
  EXPECT_EQ(queue.GetItem("x"), third);
  EXPECT_EQ(queue.GetItem(size_t{1}), third);

  EXPECT_FALSE(queue.DeleteItem(size_t{2}));
  EXPECT_EQ(queue.GetItemByIndex(2), nullptr);
  EXPECT_TRUE(queue.DeleteItem("x"));
  EXPECT_FALSE(queue.DeleteItem("x"));
  EXPECT_EQ(IDs(queue), std::vector<std::string>{"y"});

  // The same item twice, found through the list's own Add with duplicates accepted.
  queue.SetDuplicates(dupAccept);
  queue.Add(first);
  queue.Add(first);
  queue.Remove(first);
  EXPECT_EQ(queue.GetItem("x"), first);
  queue.Clear();
  EXPECT_EQ(queue.GetItem("x"), nullptr);
  EXPECT_TRUE(queue.IsEmpty());
}

TEST(TzorQueueBase, DeletedItemsStayValidWhileHeld) {
  TzorQueue queue;
  queue.SetOwnObjects(true);
  queue.AddItem(Item("held"));
  std::weak_ptr<TzorQueueItemBase> watch;
  {
    const TzorQueueItem held = queue.GetItem("held");
    watch = held;
    EXPECT_TRUE(queue.DeleteItem("held"));
    EXPECT_EQ(held->ID(), "held");
    EXPECT_FALSE(watch.expired());
  }
  EXPECT_TRUE(watch.expired());
}

TEST(TzorQueue, SortByOrderAndLookupsFollowTheNewOrder) {
  TzorQueue queue;
  queue.AddItem(Item("a", 3));
  queue.AddItem(Item("b", 1));
  queue.AddItem(Item("c", 2));
  queue.SortByOrder(true);
  EXPECT_EQ(IDs(queue), (std::vector<std::string>{"b", "c", "a"}));
  queue.SortByOrder(false);
  EXPECT_EQ(IDs(queue), (std::vector<std::string>{"a", "c", "b"}));

  const auto late = Item("dup", 9), early = Item("dup", 0);
  queue.AddItem(late);
  queue.AddItem(early);
  EXPECT_EQ(queue.GetItem("dup"), late);
  queue.SortByOrder(true);
  EXPECT_EQ(queue.GetItem("dup"), early);
}

TEST(TzorCacheQueue, CacheFillsInInsertionOrderWithoutRefresh) {
  TzorCacheQueue queue("q");
  for (const char* id : {"X", "Y", "Z"}) queue.AddItem(Item(id));
  EXPECT_EQ(queue.Cache().Count(), 0u);  // adding does not fill it

  EXPECT_NE(queue.GetItem("X"), nullptr);
  EXPECT_EQ(queue.Cache().Count(), 0u);  // CacheSize 0: never filled

  queue.SetCacheSize(1);
  queue.GetItem("X");
  queue.GetItem("Y");
  EXPECT_EQ(IDs(queue.Cache()), std::vector<std::string>{"Y"});

  queue.SetCacheSize(2);
  queue.GetItem("Z");  // Y, Z
  queue.GetItem("Y");  // a hit: Y stays the oldest
  queue.GetItem("X");  // evicts Y
  EXPECT_EQ(IDs(queue.Cache()), (std::vector<std::string>{"Z", "X"}));
  EXPECT_EQ(queue.GetItem("missing"), nullptr);
  EXPECT_EQ(queue.Cache().Count(), 2u);
}

TEST(TzorCacheQueue, DeleteLeavesNoStaleCacheEntry) {
  TzorCacheQueue queue;
  queue.SetCacheSize(4);
  const auto first = Item("X");
  queue.AddItem(first);
  queue.AddItem(Item("X"));
  EXPECT_EQ(queue.GetItem("X"), first);

  queue.SetCacheSize(0);
  EXPECT_TRUE(queue.DeleteItem("X"));
  EXPECT_EQ(queue.Cache().Count(), 0u);
  queue.SetCacheSize(4);
  EXPECT_NE(queue.GetItem("X"), first);  // the second one, not the deleted one
  EXPECT_EQ(queue.Count(), 1u);

  queue.Clear();
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_EQ(queue.Cache().Count(), 0u);
  EXPECT_FALSE(queue.DeleteItem("X"));
}

TEST(TzorCacheQueueListBase, BucketsByIdPrefixCreatedOnAnyMention) {
  TzorCacheQueueListBase list;
  EXPECT_EQ(list.GroupLevel(), 1);
  EXPECT_EQ(list.GetItem("F00D"), nullptr);  // creates an empty bucket "F"
  EXPECT_EQ(Names(list), std::vector<std::string>{"F"});

  list.SetCacheSize(3);  // for buckets created from now on
  list.AddItem(Item("A1"));
  list.AddItem(Item("A2"));
  list.AddItem(Item("B1"));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"F", "A", "B"}));
  EXPECT_EQ(list.Count(), 3u);
  {
    const auto locked = list.Locked();
    EXPECT_EQ(locked.List()[0]->CacheSize(), 0);
    EXPECT_EQ(locked.List()[1]->CacheSize(), 3);
    EXPECT_EQ(locked.List()[1]->Count(), 2u);
    EXPECT_TRUE(locked.List()[1]->OwnObjects());
  }
  EXPECT_EQ(list.GetItem("A2")->ID(), "A2");
  EXPECT_TRUE(list.DeleteItem("A2"));
  EXPECT_FALSE(list.DeleteItem("C9"));  // still creates bucket "C"
  EXPECT_EQ(Names(list).size(), 4u);
  EXPECT_EQ(list.Count(), 2u);

  list.SetGroupLevel(2);
  EXPECT_EQ(list.GroupKey("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t");  // characters, not bytes
  EXPECT_EQ(list.GroupKey("A"), "A");
  list.SetGroupLevel(0);
  EXPECT_EQ(list.GroupKey("A1"), "");

  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_TRUE(list.IsEmpty());
}

TEST(TzorCacheQueueListBase, ClearReleasesItemsAndBucketsComeBackEmpty) {
  TzorCacheQueueListBase list;
  list.SetCacheSize(2);
  std::weak_ptr<TzorQueueItemBase> watch;
  {
    const auto item = Item("A1");
    watch = item;
    list.AddItem(item);
    EXPECT_EQ(list.GetItem("A1"), item);  // in the cache too
  }
  list.Clear();
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(list.IsEmpty());

  list.SetCacheSize(5);
  EXPECT_EQ(list.GetItem("A1"), nullptr);
  EXPECT_EQ(Names(list), std::vector<std::string>{"A"});
  EXPECT_EQ(list.Locked().List()[0]->CacheSize(), 5);
  EXPECT_EQ(list.Locked().List()[0]->Cache().Count(), 0u);
  list.AddItem(Item("A2"));
  EXPECT_EQ(list.GetItem("A2")->ID(), "A2");
  EXPECT_EQ(list.Count(), 1u);
}

TEST(TzorCacheQueueListBase, BucketsAddedOrTakenOutByHandAreFollowed) {
  TzorCacheQueueListBase list;
  list.AddItem(Item("A1"));
  const std::shared_ptr<TzorCacheQueue> taken = list.Locked().List()[0];
  list.Delete(0);
  EXPECT_EQ(list.GetItem("A1"), nullptr);  // a new, empty bucket "A"
  list.AddItem(Item("A2"));
  EXPECT_EQ(taken->Count(), 1u);  // the one taken out is left alone
  EXPECT_EQ(taken->GetItem("A2"), nullptr);
  EXPECT_EQ(list.Count(), 1u);

  // A bucket of the caller's, and a second "A" behind the first.
  auto own = std::make_shared<TzorCacheQueue>("Z");
  own->AddItem(Item("Z1"));
  list.Add(own);
  EXPECT_EQ(list.GetItem("Z1")->ID(), "Z1");
  auto second = std::make_shared<TzorCacheQueue>("A");
  second->AddItem(Item("A3"));
  list.Add(second);
  EXPECT_EQ(list.GetItem("A3"), nullptr);
  const std::shared_ptr<TzorCacheQueue> first = list.Locked().List()[0];
  list.Remove(first);
  EXPECT_EQ(list.GetItem("A3")->ID(), "A3");
  EXPECT_EQ(list.GetItem("A2"), nullptr);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"Z", "A"}));
}

TEST(TzorCacheQueueListBase, ManyBucketsAllFound) {
  TzorCacheQueueListBase list;
  list.SetGroupLevel(4);
  std::vector<std::string> ids;
  for (int i = 1000; i < 2000; ++i) ids.push_back(std::to_string(i) + "-item");
  for (const auto& id : ids) list.AddItem(Item(id));
  EXPECT_EQ(list.Count(), ids.size());
  EXPECT_EQ(Names(list).size(), ids.size());  // one bucket per ID
  for (const auto& id : ids) EXPECT_EQ(list.GetItem(id)->ID(), id);
  EXPECT_EQ(Names(list).size(), ids.size());
}

TEST(TzorCacheQueueList, ForwardsToItsBucketList) {
  TzorCacheQueueList list;
  list.SetCacheSize(2);
  list.SetGroupLevel(2);
  list.AddItem(Item("ABCD"));
  list.AddItem(Item("ABEF"));
  list.AddItem(Item("CD01"));
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.QueueCache().Locked().List().size(), 2u);
  EXPECT_EQ(list.GetItem("ABEF")->ID(), "ABEF");
  EXPECT_TRUE(list.DeleteItem("ABEF"));
  EXPECT_EQ(list.GetItem("ABEF"), nullptr);
  EXPECT_EQ(list.Count(), 2u);
}

TEST(TzorQueueNameListBase, NamedQueuesAndTheirItems) {
  TzorQueueNameListBase list;
  auto item = [](const char* queue, const char* id) { return std::make_shared<TzorQueueNameItemBase>(queue, id); };
  const auto first = item("q1", "x");
  EXPECT_TRUE(list.AddItem(first));
  EXPECT_FALSE(list.AddItem(item("q1", "x")));
  EXPECT_EQ(list.GetQueueByName("q1")->Count(), 1u);
  EXPECT_EQ(list.GetQueueByName("q1")->GetItem("x"), first);
  EXPECT_TRUE(list.AddItem(item("q2", "x")));
  EXPECT_TRUE(list.AddItem(item("q2", "y")));
  EXPECT_EQ(list.Count(), 3u);

  EXPECT_FALSE(list.DeleteItem("absent", "y"));
  EXPECT_EQ(list.LockList().size(), 2u);  // not created
  list.UnlockList();
  EXPECT_TRUE(list.DeleteItem("q2", "y"));
  EXPECT_TRUE(list.DeleteItem("q2", "y"));  // the queue exists, the item no longer
  list.DeleteItem("x");                     // from every queue
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.GetQueueByName("q3")->Count(), 0u);  // asking creates
  EXPECT_EQ(list.LockList().size(), 3u);
  list.UnlockList();
}

TEST(TzorQueueNameListBase, DelimitedTextNewestFirstWithQuoting) {
  TzorQueueNameListBase list;
  list.GetQueueByName("a");
  list.GetQueueByName("b c");
  EXPECT_EQ(list.GetQueuesDelimitedText(), "\"b c\",a");
  list.GetQueueByName("d,e");
  list.GetQueueByName("say \"hi\"");
  EXPECT_EQ(list.GetQueuesDelimitedText(), "\"say \"\"hi\"\"\",\"d,e\",\"b c\",a");
  EXPECT_EQ(TzorQueueNameListBase().GetQueuesDelimitedText(), "");
}

}  // namespace
}  // namespace zor
