// The client's HTTP/2 stream codec fed random bytes in random segments, from
// the server's preface on or (by the mode byte) on a stream already open,
// with WebSocket bytes sent between the segments: it must answer or fail
// without fault, write whole frames only, never hand on more than it read,
// and hold no more than it was given to send.
#include "websocket/rfc8441_stream.h"

#include <cstdlib>
#include <string>

namespace {

using namespace zor;

constexpr uint8_t kConnectSettings[] = {0, 0, 6, h2ftSETTINGS, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 1};
constexpr uint8_t kAnswer200[] = {0, 0, 1, h2ftHEADERS, h2flags::END_HEADERS, 0, 0, 0, 1, 0x88};
const std::vector<std::string> kRequest = {":method = CONNECT", ":protocol = websocket", ":scheme = https",
                                           ":path = /", ":authority = fuzz"};

// Whole frames after the preface, nothing left over.
bool WholeFrames(std::string_view out) {
  if (!out.starts_with(Th2ConnectionPreface)) return false;
  out.remove_prefix(Th2ConnectionPreface.size());
  while (out.size() >= h2FrameHeaderLength) {
    const auto* p = reinterpret_cast<const uint8_t*>(out.data());
    const size_t length = ReadWireInteger(p, 3);
    if (out.size() < h2FrameHeaderLength + length) return false;
    out.remove_prefix(h2FrameHeaderLength + length);
  }
  return out.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  uint32_t seed = data[1] * 2654435761u + 1;
  data += 2;
  size -= 2;
  TzorWSHTTP2ClientStream codec;
  std::string out, got;
  codec.OnOutput = [&](std::span<const uint8_t> bytes) { out.append(bytes.begin(), bytes.end()); };
  codec.Start();
  if (mode & 1) {
    codec.Read(kConnectSettings, got);
    codec.SendRequest(kRequest);
    codec.Read(kAnswer200, got);
  }
  size_t given = 0;
  for (size_t at = 0; at < size;) {
    seed = seed * 1103515245u + 12345u;
    const size_t n = std::min<size_t>(size - at, 1 + (seed >> 16) % 64);
    const std::span<const uint8_t> segment(data + at, n);
    at += n;
    codec.Read(segment, got);
    for (const TzorWSHTTP2Frame& frame : codec.TakeHandshakeFrames())
      if (frame.FrameKind == TzorWSHTTP2Frame::Kind::Settings && codec.State() == TzorWSHTTP2ClientStream::h2csSettings)
        codec.SendRequest(kRequest);
    if (mode & 2) {
      codec.Send(segment);
      given += n;
    }
    if (got.size() > size || codec.Held() > given) std::abort();
  }
  codec.Close();
  if (!WholeFrames(out)) std::abort();
  return 0;
}
