#include "base/random.h"

#include "base/bytes.h"
#include "base/exceptions.h"

#include <openssl/rand.h>

#include <climits>

namespace zor {

void RandomBytes(uint8_t* out, size_t size) {
  while (size > 0) {
    const int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    if (RAND_bytes(out, chunk) != 1) throw Exception("The random number generator failed");
    out += chunk;
    size -= static_cast<size_t>(chunk);
  }
}

std::string NewGuidText() {
  uint8_t g[16];
  RandomBytes(g, sizeof g);
  g[6] = static_cast<uint8_t>((g[6] & 0x0F) | 0x40);  // version 4
  g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return BytesToHexText(g, sizeof g);
}

}  // namespace zor
