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

size_t TzorServerTransport::ReadFromBuffer(std::string& out, size_t max) {
  size_t taken = 0;
  if (hasLeftover_) {
    std::lock_guard guard(lock_);
    if (!leftover_.empty()) {
      taken = std::min(max, leftover_.size());
      out.append(leftover_, 0, taken);
      leftover_.erase(0, taken);
      if (leftover_.empty()) leftover_.shrink_to_fit();
    }
    hasLeftover_ = !leftover_.empty();
  }
  if (taken < max) taken += socket_->ReadFromBuffer(out, max - taken);
  return taken;
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
