#include "net/transport.h"

namespace zor {

size_t TzorTransport::ReadFromBuffer(TBytes& out, size_t max) {
  std::string chunk;
  const size_t n = ReadFromBuffer(chunk, max);
  out.insert(out.end(), chunk.begin(), chunk.end());
  return n;
}

}  // namespace zor
