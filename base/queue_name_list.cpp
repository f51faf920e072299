#include "base/queue_name_list.h"

namespace zor {
namespace {

std::string DelimitedName(const std::string& name) {
  if (name.find_first_of(" ,\"") == std::string::npos) return name;
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

std::shared_ptr<TzorQueueNameBase> TzorQueueNameListBase::GetQueueByName(const std::string& aQueueName) {
  std::lock_guard lock(FLock);
  if (auto queue = FirstLocked(aQueueName)) return queue;
  auto queue = std::make_shared<TzorQueueNameBase>(aQueueName);
  queue->SetOwnObjects(true);
  InsertLocked(queue);
  return queue;
}

bool TzorQueueNameListBase::AddItem(const std::shared_ptr<TzorQueueNameItemBase>& aItem) {
  if (!aItem) return false;
  const auto queue = GetQueueByName(aItem->Queue());
  const auto locked = queue->Locked();  // the test and the add as one step
  if (queue->GetItem(aItem->ID())) return false;
  queue->AddItem(aItem);
  return true;
}

void TzorQueueNameListBase::DeleteItem(const std::string& aID) {
  std::lock_guard lock(FLock);
  for (auto queue = FList.rbegin(); queue != FList.rend(); ++queue)
    if (*queue) (*queue)->DeleteItem(aID);
}

bool TzorQueueNameListBase::DeleteItem(const std::string& aQueueName, const std::string& aID) {
  std::shared_ptr<TzorQueueNameBase> named;
  {
    std::lock_guard lock(FLock);
    for (auto queue = FList.rbegin(); queue != FList.rend() && !named; ++queue)
      if (*queue && (*queue)->QueueName() == aQueueName) named = *queue;
  }
  if (!named) return false;
  named->DeleteItem(aID);
  return true;
}

std::string TzorQueueNameListBase::GetQueuesDelimitedText() const {
  std::lock_guard lock(FLock);
  std::string text;
  bool first = true;
  for (auto queue = FList.rbegin(); queue != FList.rend(); ++queue) {
    if (!*queue) continue;
    if (!first) text += ',';
    first = false;
    text += DelimitedName((*queue)->QueueName());
  }
  return text;
}

size_t TzorQueueNameListBase::Count() const { return CountOfQueues(); }

}  // namespace zor
