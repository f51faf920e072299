#include "net/write_gate.h"

#include <mutex>

namespace zor {

// Under the gate's lock.
void TzorWriteGate::Collect(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > limit_) Flush();
  buffer_ += bytes;
}

void TzorWriteGate::Begin() {
  lock_.lock();
  ++depth_;
}

void TzorWriteGate::Flush() {
  std::lock_guard guard(lock_);
  if (buffer_.empty()) return;
  std::string pending;
  pending.swap(buffer_);
  send_(pending);
}

void TzorWriteGate::End() {
  struct LeaveOnExit {
    TzorWriteGate& gate;
    ~LeaveOnExit() { gate.Leave(); }
  } leave{*this};
  Flush();
}

void TzorWriteGate::Cancel() { Leave(); }

void TzorWriteGate::Leave() {
  if (--depth_ == 0) buffer_.clear();
  lock_.unlock();
}

}  // namespace zor
