// Proxy answers are read from the network before any tunnel exists: every
// checker must either accept or raise EzorProxyError, never read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/net_errors.h"
#include "net/proxy.h"

namespace {

template <class F>
void Guarded(F&& check) {
  try {
    check();
  } catch (const zor::EzorProxyError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  using namespace zor::proxy;
  if (const size_t end = HttpHeadEnd(input)) Guarded([&] { CheckHttpConnectAnswer(input.substr(0, end)); });
  Guarded([&] { CheckHttpConnectAnswer(input); });
  Guarded([&] { CheckSocks4Reply(input); });
  Guarded([&] { CheckSocks5MethodReply(input, size % 2 == 0); });
  Guarded([&] { CheckSocks5PasswordReply(input); });
  Guarded([&] {
    if (size >= 5 && Socks5ReplySize(input.substr(0, 5)) <= size) CheckSocks5Reply(input);
  });
  return 0;
}
