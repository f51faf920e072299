#pragma once
// The byte transport protocol code runs over: an input buffer filled from the
// socket (after TLS), and writes that can be collected and sent in one go.
// The blocking client connection and the server's asynchronous connection
// both provide it.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/bytes.h"

namespace zor {

// The byte transport protocol code runs over.
class TzorTransport {
 public:
  virtual ~TzorTransport() = default;

  // Bytes received and not yet read.
  virtual size_t InputBufferSize() const = 0;
  // Appends at most `max` buffered bytes to `out`, never more than are
  // buffered; never waits. Returns the number appended.
  virtual size_t ReadFromBuffer(std::string& out, size_t max) = 0;
  size_t ReadFromBuffer(TBytes& out, size_t max);
  virtual void ClearInput() = 0;
  // Waits up to `timeout_ms` (0: only look, negative: no limit) for more
  // bytes; true when the input buffer grew. An asynchronous transport never
  // waits: it answers whether bytes are buffered.
  virtual bool WaitForData(int timeout_ms) = 0;
  // Moves at most `into.size()` bytes into `into`: buffered ones, or when
  // none are, what comes within `timeout_ms` (as WaitForData). A transport
  // may receive those straight into `into`. Returns how many (0: none came).
  virtual size_t ReceiveSome(std::span<char> into, int timeout_ms);

  // Sends all bytes, or collects them while a write buffer is open.
  virtual void Write(std::string_view bytes) = 0;
  void Write(const TBytes& bytes) {
    Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  // Write buffering: Begin collects writes (and keeps other threads' writes
  // out until End or Cancel), Flush sends what was collected, End flushes and
  // stops collecting, Cancel drops what was collected and stops.
  virtual void BeginWrite() = 0;
  virtual void FlushWrite() = 0;
  virtual void EndWrite() = 0;
  virtual void CancelWrite() = 0;

  // Open and not known to be closed by the peer.
  virtual bool Connected() const = 0;
  // Closes; with `notify_peer` a TLS close notification is sent first.
  virtual void Disconnect(bool notify_peer = true) = 0;

  virtual std::string PeerIP() const = 0;
  virtual uint16_t PeerPort() const = 0;
  virtual std::string LocalIP() const = 0;
  virtual uint16_t LocalPort() const = 0;
  // The protocol agreed by ALPN; empty without TLS or without agreement.
  virtual std::string NegotiatedALPN() const = 0;
};

// Keeps a write buffer open for a scope: End() sends; leaving the scope
// without End() (an exception) drops the collected bytes.
class TzorWriteBufferScope {
 public:
  explicit TzorWriteBufferScope(TzorTransport& transport) : transport_(transport) { transport_.BeginWrite(); }
  ~TzorWriteBufferScope() {
    if (!ended_) transport_.CancelWrite();
  }
  TzorWriteBufferScope(const TzorWriteBufferScope&) = delete;
  TzorWriteBufferScope& operator=(const TzorWriteBufferScope&) = delete;
  void End() {
    ended_ = true;
    transport_.EndWrite();
  }

 private:
  TzorTransport& transport_;
  bool ended_ = false;
};

}  // namespace zor
