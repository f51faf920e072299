#include "net/transport.h"

namespace zor {

size_t TzorTransport::ReadFromBuffer(TBytes& out, size_t max) {
  std::string chunk;
  const size_t n = ReadFromBuffer(chunk, max);
  out.insert(out.end(), chunk.begin(), chunk.end());
  return n;
}

size_t TzorTransport::ReceiveSome(std::span<char> into, int timeout_ms) {
  if (InputBufferSize() == 0 && !WaitForData(timeout_ms)) return 0;
  std::string chunk;
  const size_t n = ReadFromBuffer(chunk, into.size());
  chunk.copy(into.data(), n);
  return n;
}

}  // namespace zor
