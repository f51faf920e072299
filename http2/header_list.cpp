#include "http2/header_list.h"

#include <algorithm>
#include <stdexcept>

namespace zor {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string_view TzorHTTP2_HeaderList::Name(size_t index) const {
  const Field& field = fields_.at(index);
  return bytes_.View(field.nameOffset, field.nameLength);
}

std::string_view TzorHTTP2_HeaderList::Value(size_t index) const {
  const Field& field = fields_.at(index);
  return bytes_.View(field.valueOffset, field.valueLength);
}

void TzorHTTP2_HeaderList::Add(std::string_view name, std::string_view value, bool sensitive) {
  if (name.size() > UINT32_MAX || value.size() > UINT32_MAX || bytes_.Size() + name.size() + value.size() > UINT32_MAX)
    throw std::length_error("Header list too large");
  const auto offset = static_cast<uint32_t>(bytes_.Size());
  bytes_.Append(name.data(), name.size());
  bytes_.Append(value.data(), value.size());
  fields_.push_back({offset, static_cast<uint32_t>(name.size()), static_cast<uint32_t>(offset + name.size()),
                     static_cast<uint32_t>(value.size()), sensitive});
}

void TzorHTTP2_HeaderList::AddLine(std::string_view line) {
  const size_t colon = line.empty() ? std::string_view::npos : line.find(':', 1);
  std::string_view name = line.substr(0, colon);
  const auto blank = std::find_if(name.begin(), name.end(), [](char c) { return c == ' ' || c == '\t'; });
  name = name.substr(0, static_cast<size_t>(blank - name.begin()));
  const std::string_view value = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
  Add(name, TrimBlanks(value));
  // Lower case in place.
  const Field& field = fields_.back();
  uint8_t* octet = bytes_.Data() + field.nameOffset;
  for (uint32_t i = 0; i < field.nameLength; ++i)
    if (octet[i] >= 'A' && octet[i] <= 'Z') octet[i] = static_cast<uint8_t>(octet[i] - 'A' + 'a');
}

void TzorHTTP2_HeaderList::RemoveLast() {
  bytes_.Resize(fields_.back().nameOffset);
  fields_.pop_back();
}

void TzorHTTP2_HeaderList::Clear() {
  bytes_.Clear();
  fields_.clear();
}

std::optional<std::string_view> TzorHTTP2_HeaderList::Find(std::string_view name) const {
  for (const Field& field : fields_)
    if (bytes_.View(field.nameOffset, field.nameLength) == name)
      return bytes_.View(field.valueOffset, field.valueLength);
  return std::nullopt;
}

std::string TzorHTTP2_HeaderList::Line(size_t index) const {
  std::string line(Name(index));
  line += '=';
  line += Value(index);
  return line;
}

std::string TzorHTTP2_HeaderList::Text() const {
  std::string text;
  for (size_t i = 0; i < fields_.size(); ++i) {
    text += Line(i);
    text += '\n';
  }
  return text;
}

uint64_t TzorHTTP2_HeaderList::HeaderListSize() const {
  uint64_t size = 0;
  for (const Field& field : fields_) size += uint64_t{field.nameLength} + field.valueLength + 32;
  return size;
}

bool TzorHTTP2_HeaderList::operator==(const TzorHTTP2_HeaderList& other) const {
  if (Count() != other.Count()) return false;
  for (size_t i = 0; i < Count(); ++i)
    if (Name(i) != other.Name(i) || Value(i) != other.Value(i)) return false;
  return true;
}

}  // namespace zor
