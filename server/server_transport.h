#pragma once
// The transport a server connection reads through once its socket is
// classified: the bytes that followed the request head come first, then
// whatever the socket receives.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "net/async_connection.h"

namespace zor {

// The transport a server connection reads through once its socket is classified.
class TzorServerTransport : public TzorTransport {
 public:
  TzorServerTransport(std::shared_ptr<TzorAsyncConnection> socket, std::string leftover)
      : socket_(std::move(socket)), leftover_(std::move(leftover)), hasLeftover_(!leftover_.empty()) {}

  TzorAsyncConnection& Socket() { return *socket_; }
  // Bytes to be read before all others (what followed a request head).
  void PutBack(std::string bytes);

  size_t InputBufferSize() const override;
  size_t ReadFromBuffer(std::string& out, size_t max) override;
  using TzorTransport::ReadFromBuffer;
  size_t ReceiveSome(std::span<char> into, int timeout_ms) override;
  void ClearInput() override;
  bool WaitForData(int timeout_ms) override;
  void Write(std::string_view bytes) override { socket_->Write(bytes); }
  using TzorTransport::Write;
  void BeginWrite() override { socket_->BeginWrite(); }
  void FlushWrite() override { socket_->FlushWrite(); }
  void EndWrite() override { socket_->EndWrite(); }
  void CancelWrite() override { socket_->CancelWrite(); }
  bool Connected() const override { return socket_->Connected(); }
  void Disconnect(bool notify_peer = true) override { socket_->Disconnect(notify_peer); }
  std::string PeerIP() const override { return socket_->PeerIP(); }
  uint16_t PeerPort() const override { return socket_->PeerPort(); }
  std::string LocalIP() const override { return socket_->LocalIP(); }
  uint16_t LocalPort() const override { return socket_->LocalPort(); }
  std::string NegotiatedALPN() const override { return socket_->NegotiatedALPN(); }

 private:
  // Hands `put` at most `max` bytes of the leftover and drops them; how many.
  template <class Put>
  size_t TakeLeftover(size_t max, Put&& put);

  std::shared_ptr<TzorAsyncConnection> socket_;
  mutable std::mutex lock_;
  std::string leftover_;
  // Set while leftover_ holds bytes, so that the reads after them (all reads,
  // mostly) need not take the lock.
  std::atomic<bool> hasLeftover_;
};

}  // namespace zor
