#include "websocket/outgoing_queue.h"

namespace zor {

void TzorQueueList::Add(std::unique_ptr<TzorQueueObject> item) {
  std::lock_guard guard(lock_);
  items_.push_back(std::move(item));
}

TzorQueueList::TItems TzorQueueList::TakeAll() {
  TItems taken;
  std::lock_guard guard(lock_);
  taken.swap(items_);
  return taken;
}

size_t TzorQueueList::Count() const {
  std::lock_guard guard(lock_);
  return items_.size();
}

void TzorWSQueue::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TzorWSQueue*>(&source)) {
    FLevel = s->FLevel;
    return;
  }
  TPersistent::Assign(source);
}

void TzorWSQueueOptions::Assign(const TPersistent& source) {
  if (auto* s = dynamic_cast<const TzorWSQueueOptions*>(&source)) {
    FText.Assign(s->FText);
    FBinary.Assign(s->FBinary);
    FPing.Assign(s->FPing);
    return;
  }
  TPersistent::Assign(source);
}

}  // namespace zor
