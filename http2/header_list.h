#pragma once
// A header list as HTTP/2 carries it: fields of raw octets, in order. Names and
// values live in one buffer, so decoding a block into a reused list does not
// allocate per field.
#include "http2/byte_buffer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// A header list as HTTP/2 carries it: fields of raw octets, in order.
class TzorHTTP2_HeaderList {
 public:
  size_t Count() const { return fields_.size(); }
  bool Empty() const { return fields_.empty(); }
  std::string_view Name(size_t index) const;
  std::string_view Value(size_t index) const;
  // Never to be indexed by a compressor (credentials and the like).
  bool Sensitive(size_t index) const { return fields_.at(index).sensitive; }

  void Add(std::string_view name, std::string_view value, bool sensitive = false);
  // Adds a line of the form "name: value": the name ends at the first ":"
  // after its first character and at the first blank, and is lower-cased; the
  // value is what follows the ":", without surrounding blanks.
  void AddLine(std::string_view line);
  void RemoveLast();
  void Clear();

  // The value of the first field of that name.
  std::optional<std::string_view> Find(std::string_view name) const;
  // The field as one line: name, "=", value.
  std::string Line(size_t index) const;
  // Every line, each followed by "\n".
  std::string Text() const;
  // Size as HPACK counts it: name + value + 32 for each field.
  uint64_t HeaderListSize() const;

  bool operator==(const TzorHTTP2_HeaderList& other) const;
  // Built alike: the same fields, octets and sensitivity, field by field.
  bool Identical(const TzorHTTP2_HeaderList& other) const {
    return fields_ == other.fields_ && bytes_.View(0, bytes_.Size()) == other.bytes_.View(0, other.bytes_.Size());
  }

 private:
  friend class TzorHTTP2_HPACK;
  struct Field {
    uint32_t nameOffset, nameLength, valueOffset, valueLength;
    bool sensitive;
    bool operator==(const Field&) const = default;
  };
  TzorByteBuffer bytes_;
  std::vector<Field> fields_;
};

}  // namespace zor
