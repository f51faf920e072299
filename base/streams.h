#pragma once
// The library's stream classes: an in-memory byte stream with a position, and
// a file stream.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace zor {

// An in-memory byte stream with a position.
class TzorStringStream {
 public:
  TzorStringStream() = default;
  explicit TzorStringStream(std::string data) : data_(std::move(data)) {}

  const std::string& DataString() const { return data_; }
  // Hands the bytes over and leaves the stream empty.
  std::string Release() {
    position_ = 0;
    std::string out;
    out.swap(data_);
    return out;
  }
  size_t Size() const { return data_.size(); }
  // Growing fills with zero bytes; the position is kept within the size.
  void SetSize(size_t size);
  size_t Position() const { return position_; }
  void SetPosition(size_t position) { position_ = position < data_.size() ? position : data_.size(); }

  // Writes at the position (overwriting, then growing) and advances it.
  void Write(std::string_view bytes);
  // Reads up to `count` bytes from the position and advances it.
  std::string Read(size_t count);

 private:
  std::string data_;
  size_t position_ = 0;
};

using TzorFileStream = std::fstream;

// Keeps only the last `count` bytes of the stream, written back at position 0,
// with the position left at their end.
void TrimStreamToTail(TzorStringStream& stream, size_t count);

}  // namespace zor
