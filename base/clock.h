#pragma once
// Tick counts of a monotonic clock and Unix time text.
#include <chrono>
#include <cstdint>
#include <string>

namespace zor {

// Milliseconds of a monotonic clock; callers use the low 32 bits.
uint64_t TicksNow();
// aNew - aOld across the wrap of 32-bit tick values.
inline uint32_t TicksBetween(uint32_t old_ticks, uint32_t new_ticks) { return new_ticks - old_ticks; }

// A local date-time (wall clock of this machine's time zone), millisecond precision.
using TLocalDateTime = std::chrono::local_time<std::chrono::milliseconds>;

// Seconds since 1970-01-01 UTC of a local date-time as decimal digits; with
// `milliseconds`, its 3-digit millisecond part is appended.
std::string UnixTimeText(TLocalDateTime value, bool milliseconds);

}  // namespace zor
