#include "net/input_buffer.h"

#include <algorithm>

namespace zor {

namespace {
// From this size on, a read that takes the whole buffer takes its storage
// too instead of copying it.
constexpr size_t kHandOverBytes = 64 * 1024;
}  // namespace

size_t TzorInputBuffer::Take(std::string& out, size_t max) {
  std::lock_guard guard(lock_);
  const size_t size = bytes_.Size();
  if (out.empty() && max >= size && size >= kHandOverBytes && !receiving_) {
    bytes_.TakeAll(out);
    // As much comes again, most likely: growing anew would copy it over and over.
    bytes_.Reserve(out.capacity());
    SizeChangedLocked();
    return size;
  }
  const size_t n = std::min(max, size);
  out.append(bytes_.Front().substr(0, n));
  bytes_.Drop(n);
  SizeChangedLocked();
  return n;
}

}  // namespace zor
