#pragma once
// The HPACK header table: the 61 static entries and the dynamic table of one
// compression context (newest entry first, index 62).
#include "http2/byte_buffer.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zor {

// One header table entry as stored: name and value octets.
struct TzorHTTP2_TableEntry {
  std::string_view Name;
  std::string_view Value;
  // name + value + 32, the size HPACK counts for an entry.
  uint64_t Size() const { return Name.size() + Value.size() + 32; }
};

inline constexpr uint32_t h2StaticTableLength = 61;
inline constexpr uint32_t h2DefaultHeaderTableSize = 4096;

// Static entry 1..61.
const TzorHTTP2_TableEntry& StaticTableEntry(uint32_t index);

// Hashes that the encoder's look-ups share between the static and the dynamic
// table.
uint64_t HeaderNameHash(std::string_view name);
uint64_t HeaderFieldHash(uint64_t nameHash, std::string_view value);

// Static look-up: the index of the first entry with this name and value, and
// of the first with this name (0 when none).
struct TzorHTTP2_StaticMatch {
  uint32_t fullIndex;
  uint32_t nameIndex;
};
TzorHTTP2_StaticMatch FindStaticEntry(std::string_view name, uint64_t nameHash, std::string_view value,
                                      uint64_t fieldHash);

// The dynamic table. Entry octets sit in one buffer that is compacted now and
// then, so inserting does not allocate. An encoder's table also keeps hash
// chains (newest first) for finding entries by name or by name and value.
class TzorHTTP2_DynamicTable {
 public:
  explicit TzorHTTP2_DynamicTable(bool searchable);

  size_t Length() const { return static_cast<size_t>(next_ - oldest_); }
  uint32_t MaxTableSize() const { return maxSize_; }
  // Evicts from the oldest end until the used size fits.
  void SetMaxTableSize(uint32_t size);
  uint32_t UsedSize() const { return usedSize_; }

  // Position 0 is the newest entry.
  TzorHTTP2_TableEntry GetItem(size_t position) const;

  // Evicts what the new entry needs and inserts it at position 0. An entry
  // larger than the whole table empties the table and is not inserted (the
  // result is then false). Name and value may be octets of this table.
  bool AddItem(std::string_view name, std::string_view value);
  // The same with the hashes below already computed (searchable tables).
  bool AddItem(std::string_view name, std::string_view value, uint64_t nameHash, uint64_t fieldHash);
  void Clear();

  // Equal states hold the same entries under the same size limit: entries
  // are numbered in insertion order and numbers are never reused.
  std::array<uint64_t, 3> State() const { return {oldest_, next_, maxSize_}; }

  bool Searchable() const { return searchable_; }
  // A decoder's table needs no chains; an encoder turns them on once.
  void SetSearchable(bool searchable);

  // Positions of the newest entry with this name and value, or this name; -1
  // when none. Only for a searchable table; the hashes are those above.
  int FindField(std::string_view name, std::string_view value, uint64_t fieldHash) const;
  int FindName(std::string_view name, uint64_t nameHash) const;

 private:
  static constexpr uint64_t kNone = UINT64_MAX;
  struct Slot {
    uint64_t offset;  // logical offset of the name; the value follows
    uint32_t nameLength, valueLength;
    uint64_t nameHash, fieldHash;
    uint64_t nextName, nextField;  // older entries of the same chains
  };
  const Slot& SlotOf(uint64_t sequence) const { return slots_[sequence & slotMask_]; }
  void EvictOldest();
  void Resize(size_t slotCount);
  std::string_view Octets(uint64_t offset, uint32_t length) const {
    return bytes_.View(static_cast<size_t>(offset - base_), length);
  }

  bool searchable_;
  uint32_t maxSize_ = 0;
  uint32_t usedSize_ = 0;
  // Entries are numbered in insertion order; [oldest_, next_) are held.
  uint64_t oldest_ = 0, next_ = 0;
  std::vector<Slot> slots_;
  uint64_t slotMask_ = 0;
  std::vector<uint64_t> nameBuckets_, fieldBuckets_;
  // Octets of entry `offset` are at bytes_[offset - base_]; [head_, tail_) live.
  TzorByteBuffer bytes_;
  uint64_t base_ = 0, head_ = 0, tail_ = 0;
};

// Static and dynamic table together, addressed by HPACK index.
class TzorHTTP2_HeaderTable {
 public:
  explicit TzorHTTP2_HeaderTable(bool searchable) : FDynamicTable(searchable) {}

  // Entry at HPACK index (1..61 static, 62.. dynamic); false when none.
  bool GetItem(uint64_t index, TzorHTTP2_TableEntry& entry) const;
  bool AddItem(std::string_view name, std::string_view value) { return FDynamicTable.AddItem(name, value); }

  size_t DynamicTableLength() const { return FDynamicTable.Length(); }
  uint32_t MaxDynamicTableSize() const { return FDynamicTable.MaxTableSize(); }
  void SetMaxDynamicTableSize(uint32_t size) { FDynamicTable.SetMaxTableSize(size); }
  uint32_t UsedDynamicTableSize() const { return FDynamicTable.UsedSize(); }
  TzorHTTP2_DynamicTable& DynamicTable() { return FDynamicTable; }
  const TzorHTTP2_DynamicTable& DynamicTable() const { return FDynamicTable; }

 private:
  TzorHTTP2_DynamicTable FDynamicTable;
};

}  // namespace zor
