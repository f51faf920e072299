#pragma once
// A growable octet buffer that does not zero what it reserves: the HPACK coder
// and the frame writer reserve a worst case, write straight into it and commit
// what they used, so steady-state coding does not allocate.
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

namespace zor {

// A growable octet buffer that leaves reserved space uninitialised.
class TzorByteBuffer {
 public:
  TzorByteBuffer() = default;
  TzorByteBuffer(TzorByteBuffer&& other) noexcept { swap(other); }
  TzorByteBuffer& operator=(TzorByteBuffer&& other) noexcept {
    TzorByteBuffer(std::move(other)).swap(*this);
    return *this;
  }
  void swap(TzorByteBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }
  TzorByteBuffer(const TzorByteBuffer& other) { Append(other.Span()); }
  TzorByteBuffer& operator=(const TzorByteBuffer& other) {
    if (this != &other) {
      Clear();
      Append(other.Span());
    }
    return *this;
  }

  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  const uint8_t* Data() const { return data_.get(); }
  uint8_t* Data() { return data_.get(); }
  std::span<const uint8_t> Span() const { return {data_.get(), size_}; }
  std::string_view View(size_t offset, size_t length) const {
    return {reinterpret_cast<const char*>(data_.get()) + offset, length};
  }

  // Room for `extra` more octets after the end; returns where they start.
  uint8_t* Reserve(size_t extra) {
    if (capacity_ - size_ < extra) Grow(extra);
    return data_.get() + size_;
  }
  void Commit(size_t count) { size_ += count; }
  void Append(const void* bytes, size_t count) {
    if (count == 0) return;
    std::memcpy(Reserve(count), bytes, count);
    size_ += count;
  }
  void Append(std::span<const uint8_t> bytes) { Append(bytes.data(), bytes.size()); }
  void PushBack(uint8_t octet) {
    *Reserve(1) = octet;
    ++size_;
  }
  void Resize(size_t size) {
    if (size > size_) Reserve(size - size_);
    size_ = size;
  }
  // Drops the first `count` octets, keeping the rest in order.
  void Consume(size_t count) {
    if (count >= size_) {
      size_ = 0;
      return;
    }
    std::memmove(data_.get(), data_.get() + count, size_ - count);
    size_ -= count;
  }
  void Clear() { size_ = 0; }

 private:
  void Grow(size_t extra) {
    size_t capacity = capacity_ ? capacity_ * 2 : 256;
    while (capacity - size_ < extra) capacity *= 2;
    auto bigger = std::make_unique_for_overwrite<uint8_t[]>(capacity);
    if (size_) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
  }

  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace zor
