// A server session fed a valid preface and SETTINGS, then the fuzzer's bytes
// as frames, in pieces. Every request is answered (some with pushes), every
// tunnel echoed, so that the write side runs too. The first octet picks the
// options.
#include "http2/session.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t options = data[0];
  const size_t piece = 1 + data[1] % 64 * 37;
  data += 2;
  size -= 2;
  zor::TzorHTTP2Session session;
  session.SetFragmentedData(static_cast<zor::Th2FragmentedData>(options % 3));
  session.Settings().EnableConnectProtocol = options & 0x04;
  session.Settings().MaxConcurrentStreams = options & 0x08 ? 3 : 100;
  session.Settings().InitialWindowSize = options & 0x10 ? 100 : 65535;
  session.MaxBodySize = options & 0x20 ? 50 : 1 << 20;
  session.MaxHeaderListBound = 8192;
  size_t written = 0;
  session.OnHTTP2WriteBytes = [&](zor::TzorHTTP2Session&, std::span<const uint8_t> bytes) { written += bytes.size(); };
  const std::vector<std::string> links = {"/a.css", "/b.js"};
  session.OnHTTP2Request = [&](zor::TzorHTTP2Session& s, const zor::TzorHTTP2_HeaderList& headers,
                               std::span<const uint8_t> body, int32_t request, int32_t push, zor::TzorStringStream*) {
    if (headers.Find(":method") == "CONNECT") {
      s.SendHTTP2TunnelResponse(request, 200);
      return;
    }
    zor::TzorHTTP2ResponseInfo response;
    response.ContentStream = zor::TBytes(body.size() % 40000 + 1, 'r');
    s.SendHTTP2Response("example.com", response, push, request, options & 0x40 ? &links : nullptr);
  };
  session.OnHTTP2TunnelData = [](zor::TzorHTTP2Session& s, int32_t stream, std::span<const uint8_t> bytes, bool end) {
    s.SendHTTP2TunnelData(stream, bytes, end);
  };
  session.StartHTTP2();
  static const uint8_t start[] = {'P', 'R', 'I', ' ', '*', ' ', 'H', 'T', 'T', 'P', '/', '2', '.', '0', '\r', '\n',
                                  '\r', '\n', 'S', 'M', '\r', '\n', '\r', '\n', 0, 0, 0, 4, 0, 0, 0, 0, 0};
  session.ReadHTTP2Data(start);
  for (size_t offset = 0; offset < size && !session.GoAwaySent(); offset += piece)
    session.ReadHTTP2Data({data + offset, std::min(piece, size - offset)});
  volatile size_t sink = written;
  (void)sink;
  return 0;
}
