// The load-balancer link's readers: any text or binary message from a peer is
// read or refused with a protocol error, never a fault; a message that reads
// is written back and read again to the same fields.
#include "websocket/lb_messages.h"

#include <cstdlib>
#include <string>
#include <type_traits>

namespace {

using namespace zor;

std::string Written(const TzorWSLoadBalancerTextMessage& aMessage) {
  return std::visit(
      [](const auto& read) -> std::string {
        if constexpr (std::is_same_v<std::decay_t<decltype(read)>, TzorWSLoadBalancerReady>) {
          return std::string(kLBServerReady);
        } else {
          return read.Write();
        }
      },
      aMessage);
}

// Writing normalises what a peer may send unescaped (bytes that are no UTF-8
// become U+FFFD): after one write, writing what was read gives the same bytes.
void CheckText(std::string_view aText) {
  TzorWSLoadBalancerTextMessage message;
  try {
    message = ReadLoadBalancerText(aText);
  } catch (const TzorWSLoadBalancerProtocolError&) {
    return;
  }
  std::string written;
  try {
    written = Written(message);
  } catch (const TzorWSException&) {
    return;  // escaping made the header too long to write
  }
  if (Written(ReadLoadBalancerText(written)) != written) std::abort();
}

void CheckBinary(std::string_view aBytes) {
  TzorStringStream stream{std::string(aBytes)};
  TzorWSLoadBalancerBinary binary;
  try {
    binary.Read(stream);
  } catch (const TzorWSLoadBalancerProtocolError&) {
    return;
  }
  const std::string data = stream.DataString();
  binary.Write(stream);
  TzorWSLoadBalancerBinary again;
  again.Read(stream);
  if (stream.DataString() != data || again.FGuid != binary.FGuid) std::abort();
  if (binary.IsBroadcast() && (again.FChannel != binary.FChannel || again.FProtocol != binary.FProtocol ||
                               again.FInclude != binary.FInclude || again.FExclude != binary.FExclude))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckText(input);
  CheckBinary(input);
  return 0;
}
