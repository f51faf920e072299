// The first bytes of a socket, whole or cut anywhere: every classification
// ends in a kind whose head lies inside the bytes, never in a fault.
#include "server/builtin_resources.h"
#include "server/request_classifier.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  TzorRequestClassifierOptions options;
  options.AuthenticationEnabled = flags & 1;
  options.HTTP2Enabled = flags & 2;
  options.MaxReadBufferSize = (flags & 4) ? 64 : 4096;
  TzorResourceOptions resources;
  resources.HTMLFiles = flags & 8;
  options.ServesResource = [&](const std::string& line) { return ServesResource(line, resources); };
  for (size_t cut : {bytes.size() / 2, bytes.size()}) {
    const auto c = ClassifyRequest(bytes.substr(0, cut), options, static_cast<TwsFirstBytesWait>((flags >> 4) % 3));
    if (c.HeadSize > cut) std::abort();
    if (c.Kind == rkNeedMore && cut > options.MaxReadBufferSize + kHTTP2Preface.size()) std::abort();
  }
  return 0;
}
