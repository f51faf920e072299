#include "http2/hpack_tables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

namespace zor {

namespace {

constexpr TzorHTTP2_TableEntry kStaticTable[h2StaticTableLength] = {
    {":authority", ""},
    {":method", "GET"},
    {":method", "POST"},
    {":path", "/"},
    {":path", "/index.html"},
    {":scheme", "http"},
    {":scheme", "https"},
    {":status", "200"},
    {":status", "204"},
    {":status", "206"},
    {":status", "304"},
    {":status", "400"},
    {":status", "404"},
    {":status", "500"},
    {"accept-charset", ""},
    {"accept-encoding", "gzip, deflate"},
    {"accept-language", ""},
    {"accept-ranges", ""},
    {"accept", ""},
    {"access-control-allow-origin", ""},
    {"age", ""},
    {"allow", ""},
    {"authorization", ""},
    {"cache-control", ""},
    {"content-disposition", ""},
    {"content-encoding", ""},
    {"content-language", ""},
    {"content-length", ""},
    {"content-location", ""},
    {"content-range", ""},
    {"content-type", ""},
    {"cookie", ""},
    {"date", ""},
    {"etag", ""},
    {"expect", ""},
    {"expires", ""},
    {"from", ""},
    {"host", ""},
    {"if-match", ""},
    {"if-modified-since", ""},
    {"if-none-match", ""},
    {"if-range", ""},
    {"if-unmodified-since", ""},
    {"last-modified", ""},
    {"link", ""},
    {"location", ""},
    {"max-forwards", ""},
    {"proxy-authenticate", ""},
    {"proxy-authorization", ""},
    {"range", ""},
    {"referer", ""},
    {"refresh", ""},
    {"retry-after", ""},
    {"server", ""},
    {"set-cookie", ""},
    {"strict-transport-security", ""},
    {"transfer-encoding", ""},
    {"user-agent", ""},
    {"vary", ""},
    {"via", ""},
    {"www-authenticate", ""},
};

uint64_t HashOctets(uint64_t seed, std::string_view octets) {
  uint64_t hash = seed ^ (octets.size() * 0x9E3779B97F4A7C15ull);
  const char* p = octets.data();
  size_t left = octets.size();
  auto mix = [&hash](uint64_t word) {
    hash = (hash ^ word) * 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 31;
  };
  for (; left >= 8; p += 8, left -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    mix(word);
  }
  if (left) {
    uint64_t word = 0;
    std::memcpy(&word, p, left);
    mix(word);
  }
  hash ^= hash >> 29;
  hash *= 0x94D049BB133111EBull;
  return hash ^ (hash >> 32);
}

// Open addressing over the static entries, keyed by name and by name + value.
struct StaticIndex {
  static constexpr size_t kSlots = 256;
  std::array<uint8_t, kSlots> byName{};   // index, 0 when empty
  std::array<uint8_t, kSlots> byField{};  // index, 0 when empty
  std::array<uint64_t, h2StaticTableLength + 1> nameHash{}, fieldHash{};

  StaticIndex() {
    for (uint32_t index = 1; index <= h2StaticTableLength; ++index) {
      const TzorHTTP2_TableEntry& entry = kStaticTable[index - 1];
      nameHash[index] = HeaderNameHash(entry.Name);
      fieldHash[index] = HeaderFieldHash(nameHash[index], entry.Value);
      if (Lookup(byName, nameHash, entry.Name, {}, nameHash[index], false) == 0)
        Place(byName, nameHash[index], index);
      Place(byField, fieldHash[index], index);
    }
  }
  static void Place(std::array<uint8_t, kSlots>& slots, uint64_t hash, uint32_t index) {
    size_t slot = hash & (kSlots - 1);
    while (slots[slot]) slot = (slot + 1) & (kSlots - 1);
    slots[slot] = static_cast<uint8_t>(index);
  }
  static uint32_t Lookup(const std::array<uint8_t, kSlots>& slots, const std::array<uint64_t, 62>& hashes,
                         std::string_view name, std::string_view value, uint64_t hash, bool withValue) {
    for (size_t slot = hash & (kSlots - 1); slots[slot]; slot = (slot + 1) & (kSlots - 1)) {
      const uint32_t index = slots[slot];
      const TzorHTTP2_TableEntry& entry = kStaticTable[index - 1];
      if (hashes[index] == hash && entry.Name == name && (!withValue || entry.Value == value)) return index;
    }
    return 0;
  }
};

const StaticIndex& Index() {
  static const StaticIndex index;
  return index;
}

size_t PowerOfTwoAtLeast(size_t value) {
  size_t power = 1;
  while (power < value) power *= 2;
  return power;
}

bool Inside(std::string_view octets, const TzorByteBuffer& buffer) {
  const auto* p = reinterpret_cast<const uint8_t*>(octets.data());
  return !octets.empty() && buffer.Size() && p >= buffer.Data() && p < buffer.Data() + buffer.Size();
}

}  // namespace

const TzorHTTP2_TableEntry& StaticTableEntry(uint32_t index) { return kStaticTable[index - 1]; }

uint64_t HeaderNameHash(std::string_view name) { return HashOctets(0x243F6A8885A308D3ull, name); }

uint64_t HeaderFieldHash(uint64_t nameHash, std::string_view value) { return HashOctets(nameHash, value); }

TzorHTTP2_StaticMatch FindStaticEntry(std::string_view name, uint64_t nameHash, std::string_view value,
                                      uint64_t fieldHash) {
  const StaticIndex& index = Index();
  const uint32_t nameIndex = StaticIndex::Lookup(index.byName, index.nameHash, name, {}, nameHash, false);
  if (nameIndex == 0) return {0, 0};
  return {StaticIndex::Lookup(index.byField, index.fieldHash, name, value, fieldHash, true), nameIndex};
}

TzorHTTP2_DynamicTable::TzorHTTP2_DynamicTable(bool searchable) : searchable_(searchable) {
  SetMaxTableSize(h2DefaultHeaderTableSize);
  Resize(16);
}

void TzorHTTP2_DynamicTable::SetMaxTableSize(uint32_t size) {
  maxSize_ = size;
  while (usedSize_ > maxSize_) EvictOldest();
}

// Slots grow with the entries actually held (a large announced table size
// costs nothing until it is used); live entries move to their new slots and
// chains.
void TzorHTTP2_DynamicTable::Resize(size_t slotCount) {
  std::vector<Slot> slots(PowerOfTwoAtLeast(slotCount));
  const uint64_t mask = slots.size() - 1;
  for (uint64_t sequence = oldest_; sequence < next_; ++sequence) slots[sequence & mask] = SlotOf(sequence);
  slots_ = std::move(slots);
  slotMask_ = mask;
  if (!searchable_) return;
  nameBuckets_.assign(slots_.size() * 2, kNone);
  fieldBuckets_.assign(slots_.size() * 2, kNone);
  const uint64_t bucketMask = nameBuckets_.size() - 1;
  for (uint64_t sequence = oldest_; sequence < next_; ++sequence) {
    Slot& slot = slots_[sequence & slotMask_];
    slot.nextName = std::exchange(nameBuckets_[slot.nameHash & bucketMask], sequence);
    slot.nextField = std::exchange(fieldBuckets_[slot.fieldHash & bucketMask], sequence);
  }
}

TzorHTTP2_TableEntry TzorHTTP2_DynamicTable::GetItem(size_t position) const {
  const Slot& slot = SlotOf(next_ - 1 - position);
  return {Octets(slot.offset, slot.nameLength), Octets(slot.offset + slot.nameLength, slot.valueLength)};
}

void TzorHTTP2_DynamicTable::EvictOldest() {
  const Slot& slot = SlotOf(oldest_);
  usedSize_ -= slot.nameLength + slot.valueLength + 32;
  head_ = slot.offset + slot.nameLength + slot.valueLength;
  ++oldest_;
}

void TzorHTTP2_DynamicTable::SetSearchable(bool searchable) {
  if (searchable == searchable_) return;
  searchable_ = searchable;
  for (uint64_t sequence = oldest_; sequence < next_; ++sequence) {
    Slot& slot = slots_[sequence & slotMask_];
    slot.nameHash = HeaderNameHash(Octets(slot.offset, slot.nameLength));
    slot.fieldHash = HeaderFieldHash(slot.nameHash, Octets(slot.offset + slot.nameLength, slot.valueLength));
  }
  Resize(slots_.size());
}

bool TzorHTTP2_DynamicTable::AddItem(std::string_view name, std::string_view value) {
  if (!searchable_) return AddItem(name, value, 0, 0);
  const uint64_t nameHash = HeaderNameHash(name);
  return AddItem(name, value, nameHash, HeaderFieldHash(nameHash, value));
}

bool TzorHTTP2_DynamicTable::AddItem(std::string_view name, std::string_view value, uint64_t nameHash,
                                     uint64_t fieldHash) {
  const uint64_t size = uint64_t{name.size()} + value.size() + 32;
  if (size > maxSize_) {
    Clear();
    return false;
  }
  // Eviction and compaction may move or drop octets the new entry refers to.
  std::string nameCopy, valueCopy;
  if (Inside(name, bytes_)) name = nameCopy.assign(name);
  if (Inside(value, bytes_)) value = valueCopy.assign(value);
  while (usedSize_ + size > maxSize_) EvictOldest();

  if (Length() + 1 > slots_.size()) Resize(std::max<size_t>(16, slots_.size() * 2));
  // Compacting once the dead octets outweigh the live ones moves each octet
  // about once.
  const size_t length = name.size() + value.size();
  const size_t live = static_cast<size_t>(tail_ - head_);
  if (bytes_.Size() + length > 2 * (live + length) + 256) {
    bytes_.Consume(static_cast<size_t>(head_ - base_));
    base_ = head_;
  }
  uint8_t* out = bytes_.Reserve(length);
  if (!name.empty()) std::memcpy(out, name.data(), name.size());
  if (!value.empty()) std::memcpy(out + name.size(), value.data(), value.size());
  bytes_.Commit(length);

  Slot& slot = slots_[next_ & slotMask_];
  slot.offset = tail_;
  slot.nameLength = static_cast<uint32_t>(name.size());
  slot.valueLength = static_cast<uint32_t>(value.size());
  if (searchable_) {
    slot.nameHash = nameHash;
    slot.fieldHash = fieldHash;
    const uint64_t bucketMask = nameBuckets_.size() - 1;
    slot.nextName = std::exchange(nameBuckets_[slot.nameHash & bucketMask], next_);
    slot.nextField = std::exchange(fieldBuckets_[slot.fieldHash & bucketMask], next_);
  }
  tail_ += length;
  ++next_;
  usedSize_ += static_cast<uint32_t>(size);
  return true;
}

void TzorHTTP2_DynamicTable::Clear() {
  oldest_ = next_;
  usedSize_ = 0;
  bytes_.Clear();
  base_ = head_ = tail_;
}

int TzorHTTP2_DynamicTable::FindField(std::string_view name, std::string_view value, uint64_t fieldHash) const {
  if (!searchable_) return -1;
  for (uint64_t sequence = fieldBuckets_[fieldHash & (fieldBuckets_.size() - 1)];
       sequence != kNone && sequence >= oldest_; sequence = SlotOf(sequence).nextField) {
    const Slot& slot = SlotOf(sequence);
    if (slot.fieldHash == fieldHash && Octets(slot.offset, slot.nameLength) == name &&
        Octets(slot.offset + slot.nameLength, slot.valueLength) == value)
      return static_cast<int>(next_ - 1 - sequence);
  }
  return -1;
}

int TzorHTTP2_DynamicTable::FindName(std::string_view name, uint64_t nameHash) const {
  if (!searchable_) return -1;
  for (uint64_t sequence = nameBuckets_[nameHash & (nameBuckets_.size() - 1)];
       sequence != kNone && sequence >= oldest_; sequence = SlotOf(sequence).nextName) {
    const Slot& slot = SlotOf(sequence);
    if (slot.nameHash == nameHash && Octets(slot.offset, slot.nameLength) == name)
      return static_cast<int>(next_ - 1 - sequence);
  }
  return -1;
}

bool TzorHTTP2_HeaderTable::GetItem(uint64_t index, TzorHTTP2_TableEntry& entry) const {
  if (index >= 1 && index <= h2StaticTableLength) {
    entry = StaticTableEntry(static_cast<uint32_t>(index));
    return true;
  }
  if (index <= h2StaticTableLength || index - h2StaticTableLength - 1 >= FDynamicTable.Length()) return false;
  entry = FDynamicTable.GetItem(static_cast<size_t>(index - h2StaticTableLength - 1));
  return true;
}

}  // namespace zor
