#pragma once
// A number that tells the calling thread from every other running thread,
// read inline: std::this_thread::get_id() is a library call each time, and
// hot paths ask several times per message.
#include <cstdint>

namespace zor {

// Never 0, which thus stands for "no thread".
inline uintptr_t ThisThreadToken() {
  static thread_local const char token = 0;
  return reinterpret_cast<uintptr_t>(&token);
}

}  // namespace zor
