#include "base/bucket_directory.h"

#include "base/cache_queue.h"

namespace zor {

// Open addressing with linear probing, at most half full, so every probe
// ends at an empty slot.
struct TzorBucketDirectory::TTable {
  explicit TTable(size_t capacity) : Mask(capacity - 1), Slots(new std::atomic<TEntry*>[capacity]()) {}
  size_t Capacity() const { return Mask + 1; }

  const size_t Mask;
  const std::unique_ptr<std::atomic<TEntry*>[]> Slots;
};

namespace {

constexpr size_t kFirstCapacity = 32;  // the 16 buckets of one hexadecimal digit

size_t KeyHash(std::string_view key) { return std::hash<std::string_view>{}(key); }

}  // namespace

TzorBucketDirectory::TzorBucketDirectory() {
  FTables.push_back(std::make_unique<TTable>(kFirstCapacity));
  FTable.store(FTables.back().get(), std::memory_order_release);
}

TzorBucketDirectory::~TzorBucketDirectory() = default;

TzorBucketDirectory::TEntry* TzorBucketDirectory::Find(const TTable& table, std::string_view key, size_t hash) {
  for (size_t at = hash & table.Mask;; at = (at + 1) & table.Mask) {
    TEntry* entry = table.Slots[at].load(std::memory_order_acquire);
    if (!entry || (entry->Hash == hash && entry->Key == key)) return entry;
  }
}

void TzorBucketDirectory::Place(TTable& table, TEntry& entry) {
  size_t at = entry.Hash & table.Mask;
  while (table.Slots[at].load(std::memory_order_relaxed)) at = (at + 1) & table.Mask;
  table.Slots[at].store(&entry, std::memory_order_release);
}

TzorCacheQueue* TzorBucketDirectory::Listed(std::string_view key) const {
  const TEntry* entry = Find(*FTable.load(std::memory_order_acquire), key, KeyHash(key));
  return entry ? entry->Listed.load(std::memory_order_acquire) : nullptr;
}

TzorBucketDirectory::TEntry& TzorBucketDirectory::Entry(std::string_view key) {
  const size_t hash = KeyHash(key);
  TTable* table = FTables.back().get();
  if (TEntry* entry = Find(*table, key, hash)) return *entry;
  if (2 * (FEntries.size() + 1) > table->Capacity()) {
    // Readers may still be probing the old table: it stays.
    FTables.push_back(std::make_unique<TTable>(2 * table->Capacity()));
    table = FTables.back().get();
    for (const auto& entry : FEntries) Place(*table, *entry);
    FTable.store(table, std::memory_order_release);
  }
  FEntries.push_back(std::make_unique<TEntry>(key, hash));
  Place(*table, *FEntries.back());
  return *FEntries.back();
}

}  // namespace zor
