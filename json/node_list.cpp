#include <cstring>
#include <random>

#include "base/format.h"
#include "json/json.h"

namespace zor {
namespace {

// Short lists are scanned; a hash index pays off only beyond this length.
constexpr size_t kLinearScanLimit = 8;

// Seeded per process, so that names chosen to collide (a body read from the
// network) cannot be prepared in advance.
const uint64_t kHashSeed = [] {
  std::random_device device;
  return (uint64_t{device()} << 32) ^ device();
}();

uint64_t MixWord(uint64_t aHash, uint64_t aWord) {
  aHash = (aHash ^ aWord) * 0xBF58476D1CE4E5B9ULL;
  return aHash ^ (aHash >> 31);
}

// Member names are short: eight bytes at a time.
size_t HashName(std::string_view aName) {
  uint64_t hash = kHashSeed ^ aName.size();
  size_t i = 0;
  for (; i + 8 <= aName.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, aName.data() + i, 8);
    hash = MixWord(hash, word);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, aName.data() + i, aName.size() - i);
  hash = MixWord(hash, tail);
  return static_cast<size_t>(hash ^ (hash >> 29));
}

}  // namespace

std::atomic<uint64_t> TzorObjectJSONList::FRenameEpoch{0};

int TzorObjectJSONList::IndexOf(std::string_view aName) const {
  if (FItems.size() <= kLinearScanLimit) {
    for (size_t i = 0; i < FItems.size(); ++i) {
      if (FItems[i]->Name() == aName) return static_cast<int>(i);
    }
    return -1;
  }
  IndexNames();
  size_t mask = FSlots.size() - 1;
  for (size_t slot = HashName(aName) & mask; FSlots[slot] != 0; slot = (slot + 1) & mask) {
    uint32_t index = FSlots[slot] - 1;
    if (FItems[index]->Name() == aName) return static_cast<int>(index);
  }
  return -1;
}

void TzorObjectJSONList::IndexNames() const {
  uint64_t epoch = FRenameEpoch.load(std::memory_order_relaxed);
  if (FSlots.empty() || FIndexEpoch != epoch || FItems.size() * 2 > FSlots.size()) {
    size_t capacity = 32;
    while (capacity < FItems.size() * 4) capacity *= 2;
    FSlots.assign(capacity, 0);
    FIndexed = 0;
    FIndexEpoch = epoch;
  }
  size_t mask = FSlots.size() - 1;
  for (; FIndexed < FItems.size(); ++FIndexed) {
    const std::string& name = FItems[FIndexed]->Name();
    size_t slot = HashName(name) & mask;
    // The first node of a name keeps the slot.
    while (FSlots[slot] != 0 && FItems[FSlots[slot] - 1]->Name() != name) slot = (slot + 1) & mask;
    if (FSlots[slot] == 0) FSlots[slot] = static_cast<uint32_t>(FIndexed + 1);
  }
}

TzorObjectJSON* TzorObjectJSONList::GetNode(std::string_view aName) const {
  int index = IndexOf(aName);
  return index < 0 ? nullptr : FItems[index];
}

TzorObjectJSON* TzorObjectJSONList::GetItem(int Index) const {
  if (Index < 0) throw EListError(Format("List index out of bounds (%d)", Index));
  return static_cast<size_t>(Index) < FItems.size() ? FItems[Index] : nullptr;
}

void TzorObjectJSONList::SetNode(std::string_view aName, TzorObjectJSON* aValue) {
  int index = IndexOf(aName);
  if (index >= 0) Replace(index, aValue);
}

void TzorObjectJSONList::SetItem(int Index, TzorObjectJSON* aValue) {
  if (Index < 0) throw EListError(Format("List index out of bounds (%d)", Index));
  if (static_cast<size_t>(Index) < FItems.size()) Replace(Index, aValue);
}

void TzorObjectJSONList::Replace(size_t aIndex, TzorObjectJSON* aValue) {
  if (!aValue) return;  // an empty entry would break every later walk
  aValue->_AddRef();
  TzorObjectJSON* previous = FItems[aIndex];
  FItems[aIndex] = aValue;
  FSlots.clear();
  previous->_Release();
}

void TzorObjectJSONList::Add(TzorObjectJSON* aNode) {
  aNode->_AddRef();
  FItems.push_back(aNode);
}

void TzorObjectJSONList::Clear() {
  std::vector<TzorObjectJSON*> items;
  items.swap(FItems);
  FSlots.clear();
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    (*it)->Destroy();
    (*it)->_Release();
  }
}

}  // namespace zor
