#pragma once
// A queue of bytes for the TLS engines' ciphertext: read from the front,
// appended at the back. It neither clears the room it grows by more than
// once nor moves the unread rest forward on every append; a socket can read
// straight into the free room at the back, and the whole content can be
// handed over without a copy.
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace zor {

// Bytes read from the front and appended at the back.
class TzorByteQueue {
 public:
  size_t Size() const { return end_ - start_; }
  void Append(std::string_view bytes);
  // Free room for at least `size` bytes after the queued ones; Commit adds
  // what was written there. It stays in place until the next Room, Append,
  // TakeAll or Reserve: taking from the front meanwhile does not move it.
  std::span<char> Room(size_t size) {
    DropTakenFront();
    if (data_.size() - end_ < size) data_.resize(end_ + size);
    return {data_.data() + end_, data_.size() - end_};
  }
  void Commit(size_t size) { end_ += size; }
  // The queued bytes, valid until the next change.
  std::string_view Front() const { return {data_.data() + start_, Size()}; }
  // Removes `size` bytes (at most Size()) from the front.
  void Drop(size_t size);
  // Empties the queue and keeps its storage.
  void Clear() { start_ = end_ = 0; }
  size_t Capacity() const { return data_.capacity(); }
  void Swap(TzorByteQueue& other) noexcept {
    data_.swap(other.data_);
    std::swap(start_, other.start_);
    std::swap(end_, other.end_);
  }
  // Moves at most `max` bytes to `out`; returns how many.
  size_t Take(char* out, size_t max);
  // Moves everything to the end of `out`; an empty `out` takes the storage.
  void TakeAll(std::string& out);
  // Storage for `size` bytes in all, allocated now (after TakeAll took it).
  void Reserve(size_t size) { data_.reserve(size); }

 private:
  // The taken front goes once it outweighs the rest, so that each byte is
  // moved at most about once. Inline, as Room runs for every message.
  void DropTakenFront() {
    if (start_ > 0 && start_ >= Size()) MoveRestForward();
  }
  void MoveRestForward();

  // [start_, end_) of data_ is queued; the rest of data_ is room, cleared
  // once when the queue grew and reused without clearing again.
  std::string data_;
  size_t start_ = 0;
  size_t end_ = 0;
};

}  // namespace zor
