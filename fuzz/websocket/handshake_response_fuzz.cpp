// The capture and checks of a server's handshake answer: any bytes end in an
// outcome or one of the library's exceptions, never in a fault.
#include "websocket/extensions.h"
#include "websocket/handshake.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  TzorWSHandshakeResponseReader reader;
  reader.SetMaxHeaderSize(4096);
  try {
    const size_t used = reader.Read(data, size);
    if (used > size || (used < size && !reader.Complete())) std::abort();
    const TzorWSHandShakeClient answer(reader.Lines());
    TzorWSExtensions extensions;
    extensions.SetMode(appClient);
    extensions.PerMessage_Deflate().SetEnabled(true);
    extensions.DeflateFrame().SetEnabled(true);
    std::string redirected;
    const auto outcome = CheckHandshakeResponse(answer, "dGhlIHNhbXBsZSBub25jZQ==", "chat,superchat", &extensions,
                                                [&](const std::string& location) { redirected = location; });
    if (outcome.Redirected && redirected.empty()) std::abort();
  } catch (const Exception&) {
  }
  return 0;
}
