#include "server/server_transport.h"

namespace zor {

void TzorServerTransport::PutBack(std::string bytes) {
  std::lock_guard guard(lock_);
  leftover_.insert(0, bytes);
  hasLeftover_ = !leftover_.empty();
}

size_t TzorServerTransport::InputBufferSize() const {
  if (!hasLeftover_) return socket_->InputBufferSize();
  std::lock_guard guard(lock_);
  return leftover_.size() + socket_->InputBufferSize();
}

template <class Put>
size_t TzorServerTransport::TakeLeftover(size_t max, Put&& put) {
  if (!hasLeftover_) return 0;
  std::lock_guard guard(lock_);
  const size_t taken = std::min(max, leftover_.size());
  put(std::string_view(leftover_).substr(0, taken));
  leftover_.erase(0, taken);
  if (leftover_.empty()) leftover_.shrink_to_fit();
  hasLeftover_ = !leftover_.empty();
  return taken;
}

size_t TzorServerTransport::ReadFromBuffer(std::string& out, size_t max) {
  size_t taken = TakeLeftover(max, [&](std::string_view bytes) { out.append(bytes); });
  if (taken < max) taken += socket_->ReadFromBuffer(out, max - taken);
  return taken;
}

size_t TzorServerTransport::ReceiveSome(std::span<char> into, int timeout_ms) {
  if (const size_t taken = TakeLeftover(into.size(), [&](std::string_view bytes) { bytes.copy(into.data(), bytes.size()); }))
    return taken;
  return socket_->ReceiveSome(into, timeout_ms);
}

void TzorServerTransport::ClearInput() {
  {
    std::lock_guard guard(lock_);
    leftover_.clear();
    leftover_.shrink_to_fit();
    hasLeftover_ = false;
  }
  socket_->ClearInput();
}

bool TzorServerTransport::WaitForData(int timeout_ms) {
  if (hasLeftover_) return true;
  return socket_->WaitForData(timeout_ms);
}

}  // namespace zor
