#pragma once
// The part of TzorTransport that reads from a TzorInputBuffer and writes
// through a TzorWriteGate, whatever fills the one and carries the other: a
// socket (both connection kinds) or a stream of an HTTP/2 connection.
#include <cstddef>
#include <string>
#include <string_view>

#include "net/input_buffer.h"
#include "net/transport.h"
#include "net/write_gate.h"

namespace zor {

// A transport with an input buffer and a write gate.
class TzorBufferedTransport : public TzorTransport {
 public:
  size_t InputBufferSize() const override { return Input().Size(); }
  size_t ReadFromBuffer(std::string& out, size_t max) override { return Input().Take(out, max); }
  using TzorTransport::ReadFromBuffer;
  size_t ReceiveSome(std::span<char> into, int timeout_ms) override {
    if (InputBufferSize() == 0 && !WaitForData(timeout_ms)) return 0;
    return Input().Take(into);
  }
  void ClearInput() override { Input().Clear(); }
  void Write(std::string_view bytes) override { Writes().Write(bytes); }
  using TzorTransport::Write;
  void BeginWrite() override { Writes().Begin(); }
  void FlushWrite() override { Writes().Flush(); }
  void EndWrite() override { Writes().End(); }
  void CancelWrite() override { Writes().Cancel(); }

 protected:
  virtual TzorInputBuffer& Input() const = 0;
  virtual TzorWriteGate& Writes() const = 0;
};

}  // namespace zor
