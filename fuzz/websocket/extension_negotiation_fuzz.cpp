// Negotiation from any extension header, on both sides: it either fails with
// the library's exception or yields settings whose compression round-trips.
#include "websocket/extensions.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\n');
  const std::string header = input.substr(0, cut);
  const std::string message = cut == std::string::npos ? "payload" : input.substr(cut + 1);

  TzorWSExtensions client, server;
  client.SetMode(appClient);
  server.SetMode(appServer);
  for (auto* set : {&client, &server}) {
    set->PerMessage_Deflate().SetEnabled(true);
    set->DeflateFrame().SetEnabled(true);
  }
  try {
    server.DecodeExtensions(header);
    std::vector<std::string> answer;
    server.WriteHeader(answer);
    // The client reads the server's answer, as in a handshake.
    std::string value;
    for (const auto& line : answer) value += (value.empty() ? "" : ", ") + line.substr(26);
    client.DecodeExtensions(value);
  } catch (const Exception&) {
    return 0;
  }
  if (client.Compression() != server.Compression()) std::abort();
  for (int round = 0; round < 3; ++round) {
    std::string wire = message;
    uint8_t first = 0x82;
    if (client.WriteStream(wire)) client.EncodeHeader(first);
    server.DecodeHeader(first);
    server.ReadStream(wire);
    if (wire != message) std::abort();
  }
  return 0;
}
