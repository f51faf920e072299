#pragma once
// Named queues of items, created on first mention of their name.
#include "base/queue.h"

namespace zor {

// Named queues of items, created on first mention of their name.
class TzorQueueNameListBase : public TzorQueueCommon<TzorQueueNameBase> {
 public:
  TzorQueueNameListBase() { SetOwnObjects(true); }

  // The queue named aQueueName; asking for a missing one creates it.
  std::shared_ptr<TzorQueueNameBase> GetQueueByName(const std::string& aQueueName);
  // Adds aItem to the queue its Queue() names unless that queue already has
  // an item with the same ID (then the result is false and nothing changes).
  bool AddItem(const std::shared_ptr<TzorQueueNameItemBase>& aItem);
  // Deletes the first item with aID from every queue.
  void DeleteItem(const std::string& aID);
  // Deletes the first item with aID from the queue named aQueueName; the
  // result tells whether that queue exists (it is not created).
  bool DeleteItem(const std::string& aQueueName, const std::string& aID);
  // The queue names from the newest to the oldest, comma-separated; a name
  // with a space, comma or double quote is quoted, its quotes doubled.
  std::string GetQueuesDelimitedText() const;
  // The items of all queues.
  size_t Count() const override;
};

}  // namespace zor
