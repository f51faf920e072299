#pragma once
// Two transports joined in memory: what one writes lands in the other's input
// buffer. Connections talk through them without sockets, in one thread (a
// test pumps both sides) or across threads (WaitForData waits on a condition
// variable).
#include "net/net_errors.h"
#include "net/transport.h"
#include "net/write_gate.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace zor::test {

class MemoryTransport : public TzorTransport {
 public:
  // A connected pair.
  static std::pair<std::shared_ptr<MemoryTransport>, std::shared_ptr<MemoryTransport>> Pair() {
    auto a = std::make_shared<MemoryTransport>();
    auto b = std::make_shared<MemoryTransport>();
    a->peer_ = b;
    b->peer_ = a;
    return {a, b};
  }

  size_t InputBufferSize() const override {
    std::lock_guard guard(lock_);
    return input_.size();
  }
  size_t ReadFromBuffer(std::string& out, size_t max) override {
    std::lock_guard guard(lock_);
    const size_t n = std::min(max, input_.size());
    out.append(input_, 0, n);
    input_.erase(0, n);
    return n;
  }
  using TzorTransport::ReadFromBuffer;
  void ClearInput() override {
    std::lock_guard guard(lock_);
    input_.clear();
  }
  bool WaitForData(int timeout_ms) override {
    std::unique_lock guard(lock_);
    auto ready = [this] { return !input_.empty() || peer_closed_ || closed_; };
    if (timeout_ms < 0)
      arrived_.wait(guard, ready);
    else
      arrived_.wait_for(guard, std::chrono::milliseconds(timeout_ms), ready);
    return !input_.empty();
  }

  void Write(std::string_view bytes) override { gate_.Write(bytes); }
  using TzorTransport::Write;
  void BeginWrite() override { gate_.Begin(); }
  void FlushWrite() override { gate_.Flush(); }
  void EndWrite() override { gate_.End(); }
  void CancelWrite() override { gate_.Cancel(); }

  bool Connected() const override {
    std::lock_guard guard(lock_);
    return !closed_ && (!peer_closed_ || !input_.empty());
  }
  void Disconnect(bool = true) override {
    {
      std::lock_guard guard(lock_);
      closed_ = true;
      ++disconnects_;
    }
    arrived_.notify_all();
    if (auto peer = peer_.lock()) peer->PeerClosed();
  }

  std::string PeerIP() const override { return "127.0.0.2"; }
  uint16_t PeerPort() const override { return 40000; }
  std::string LocalIP() const override { return "127.0.0.1"; }
  uint16_t LocalPort() const override { return 8080; }
  std::string NegotiatedALPN() const override { return ALPN; }

  // Test hooks: the protocol ALPN agreed, bytes as if the peer sent them,
  // and what Disconnect saw.
  std::string ALPN;
  void Inject(std::string_view bytes) {
    {
      std::lock_guard guard(lock_);
      input_ += bytes;
    }
    arrived_.notify_all();
  }
  int Disconnects() const {
    std::lock_guard guard(lock_);
    return disconnects_;
  }
  bool Closed() const {
    std::lock_guard guard(lock_);
    return closed_;
  }
  // Runs inside every write, before the bytes land: a write in progress.
  std::function<void()> DuringWrite;
  // Writes fail with this error from now on (empty: they succeed again).
  void FailWrites(std::string message) {
    std::lock_guard guard(lock_);
    write_failure_ = std::move(message);
  }

 private:
  void Send(std::string_view bytes) {
    if (DuringWrite) DuringWrite();
    {
      std::lock_guard guard(lock_);
      if (closed_) throw EzorClosedSocket();
      if (!write_failure_.empty()) throw EzorSocketError(write_failure_);
    }
    if (auto peer = peer_.lock()) peer->Inject(bytes);
  }
  void PeerClosed() {
    {
      std::lock_guard guard(lock_);
      peer_closed_ = true;
    }
    arrived_.notify_all();
  }

  mutable std::mutex lock_;
  std::condition_variable arrived_;
  std::string input_;
  bool closed_ = false;
  bool peer_closed_ = false;
  int disconnects_ = 0;
  std::string write_failure_;
  std::weak_ptr<MemoryTransport> peer_;
  TzorWriteGate gate_{[this](std::string_view bytes) { Send(bytes); }, 1 << 20};
};

}  // namespace zor::test
