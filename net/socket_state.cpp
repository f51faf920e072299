#include "net/socket_state.h"

namespace zor {

TzorConnectionIntercept::Pause TzorSocketState::ShowIntercepts(
    std::string_view bytes, TzorConnectionIntercept::Pause (TzorConnectionIntercept::*show)(std::string_view)) const {
  TzorConnectionIntercept::Pause pause{};
  for (const auto& intercept : intercepts) pause += (*intercept.*show)(bytes);
  return pause;
}

std::string_view TzorSocketState::SealWithEngine(std::string_view bytes, std::string& sealed) {
  std::lock_guard guard(engine_lock);
  engine->Write(bytes);
  engine->TakeOutgoing(sealed);
  return sealed;
}

}  // namespace zor
