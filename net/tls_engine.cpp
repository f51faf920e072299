#include "net/tls_engine.h"

#include <algorithm>

namespace zor {

size_t TzorTLSEngine::Read(std::string& out, size_t max, const TzorCiphertextSource& source) {
  // A record's plaintext at a time, so that `out` grows by little more than
  // what comes.
  constexpr size_t kStep = 16 * 1024;
  size_t got = 0;
  while (got < max) {
    const size_t step = std::min(max - got, kStep);
    const size_t at = out.size();
    out.resize(at + step);
    size_t n = 0;
    try {
      n = ReadInto({out.data() + at, step}, source);
    } catch (...) {
      out.resize(at);
      throw;
    }
    out.resize(at + n);
    got += n;
    if (n < step) break;
  }
  return got;
}

}  // namespace zor
