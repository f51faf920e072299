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
  size_t InputBufferSize() const final { return input_->Size(); }
  size_t ReadFromBuffer(std::string& out, size_t max) final { return input_->Take(out, max); }
  using TzorTransport::ReadFromBuffer;
  size_t ReceiveSome(std::span<char> into, int timeout_ms) override {
    if (InputBufferSize() == 0 && !WaitForData(timeout_ms)) return 0;
    return input_->Take(into);
  }
  void ClearInput() final { input_->Clear(); }
  void Write(std::string_view bytes) override { writes_->Write(bytes); }
  using TzorTransport::Write;
  void BeginWrite() override { writes_->Begin(); }
  void FlushWrite() override { writes_->Flush(); }
  void EndWrite() override { writes_->End(); }
  void CancelWrite() override { writes_->Cancel(); }

 protected:
  // The derived class's own buffer and gate, bound once by its constructor:
  // every read and write of a message then reaches them without a virtual
  // call of its own.
  void Bind(TzorInputBuffer& input, TzorWriteGate& writes) {
    input_ = &input;
    writes_ = &writes;
  }

 private:
  TzorInputBuffer* input_ = nullptr;
  TzorWriteGate* writes_ = nullptr;
};

}  // namespace zor
