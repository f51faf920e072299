// Whatever a socket sends the load balancer, in pieces of any size: request
// heads, upgrades and frames are read or refused without fault, and nothing
// is handed on after the session closed.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/load-balancer/balancer_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bool closed = false;
  auto handOn = [&closed](std::string_view) {
    if (closed) std::abort();
  };
  zor::TzorBalancerSession session({.Write = [](std::string_view) {},
                                    .Close = [&closed] { closed = true; },
                                    .BindingAnswer = [] { return std::string("{}"); },
                                    .LinkOpened = [] {},
                                    .TextReceived = handOn,
                                    .BinaryReceived = handOn});
  // The first byte sets the piece size, so split heads and frames are
  // covered, and with its top bit the link is upgraded first, so the rest
  // are frames.
  if (size == 0) return 0;
  const size_t piece = data[0] % 64 + 1;
  if (data[0] & 0x80) {
    session.Received("GET /zor@load_balancer_client HTTP/1.1\r\nUpgrade: websocket\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n");
  }
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  while (!rest.empty()) {
    session.Received(rest.substr(0, piece));
    rest.remove_prefix(std::min(piece, rest.size()));
  }
  return 0;
}
