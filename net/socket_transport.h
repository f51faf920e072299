#pragma once
// The part of TzorTransport that both connection kinds implement alike, on
// their TzorSocketState: reading from the input buffer, writing through the
// write gate, the two ends and the byte counts.
#include <cstdint>
#include <string>

#include "net/buffered_transport.h"

namespace zor {

struct TzorSocketState;

// The byte transport over a socket that both connection kinds share.
class TzorSocketTransport : public TzorBufferedTransport {
 public:
  std::string PeerIP() const override;
  uint16_t PeerPort() const override;
  std::string LocalIP() const override;
  uint16_t LocalPort() const override;

  // Bytes handed to the application and taken from it (before TLS).
  uint64_t BytesReceived() const;
  uint64_t BytesSent() const;

 protected:
  // The owner's state, bound once by its constructor; its input buffer and
  // write gate are the ones this transport reads and writes.
  void Bind(TzorSocketState& state);

 private:
  TzorSocketState& State() const { return *state_; }

  TzorSocketState* state_ = nullptr;
};

}  // namespace zor
