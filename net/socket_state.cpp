#include "net/socket_state.h"

namespace zor {

TzorConnectionIntercept::Pause TzorSocketState::ShowReceived(std::string_view bytes) const {
  TzorConnectionIntercept::Pause pause{};
  for (const auto& intercept : intercepts) pause += intercept->Received(bytes);
  return pause;
}

TzorConnectionIntercept::Pause TzorSocketState::ShowSent(std::string_view bytes) const {
  TzorConnectionIntercept::Pause pause{};
  for (const auto& intercept : intercepts) pause += intercept->Sent(bytes);
  return pause;
}

std::string_view TzorSocketState::Seal(std::string_view bytes, std::string& sealed) {
  if (!engine) return bytes;
  std::lock_guard guard(engine_lock);
  engine->Write(bytes);
  engine->TakeOutgoing(sealed);
  return sealed;
}

}  // namespace zor
