// What a WebSocket client reads from others: its URL, the session answer and
// the load balancer's binding answer. Each either fails with the library's
// exception or yields a result that holds together.
#include <cstdlib>
#include <string>

#include "base/exceptions.h"
#include "websocket/client_authentication.h"
#include "websocket/client_url.h"
#include "websocket/load_balancer_choice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  const std::string input(reinterpret_cast<const char*>(data), size);
  try {
    const TzorWSClientAddress address = ParseWSClientURL(input);
    if (address.Host.empty() || address.Port < 1 || address.Port > 65535) std::abort();
    if (!address.Parameters.empty() && address.Parameters[0] != '/') std::abort();
  } catch (const Exception&) {
  }
  TzorWSAuthenticationClient_Session session;
  if (ReadSessionAnswer(input, session) && session.ID().find('\n') != std::string::npos) std::abort();
  try {
    ReadBindingAnswer(input);
  } catch (const Exception&) {
  }
  return 0;
}
