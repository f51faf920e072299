#pragma once
// The part of TzorTransport that both connection kinds implement alike, on
// their TzorSocketState: reading from the input buffer, writing through the
// write gate, the two ends and the byte counts.
#include <cstdint>
#include <string>
#include <string_view>

#include "net/transport.h"

namespace zor {

struct TzorSocketState;

// The byte transport over a socket that both connection kinds share.
class TzorSocketTransport : public TzorTransport {
 public:
  size_t InputBufferSize() const override;
  size_t ReadFromBuffer(std::string& out, size_t max) override;
  using TzorTransport::ReadFromBuffer;
  void ClearInput() override;
  void Write(std::string_view bytes) override;
  using TzorTransport::Write;
  void BeginWrite() override;
  void FlushWrite() override;
  void EndWrite() override;
  void CancelWrite() override;
  std::string PeerIP() const override;
  uint16_t PeerPort() const override;
  std::string LocalIP() const override;
  uint16_t LocalPort() const override;

  // Bytes handed to the application and taken from it (before TLS).
  uint64_t BytesReceived() const;
  uint64_t BytesSent() const;

 protected:
  virtual TzorSocketState& State() const = 0;
};

}  // namespace zor
