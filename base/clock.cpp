#include "base/clock.h"

#include <ctime>

namespace zor {

uint64_t TicksNow() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string UnixTimeText(TLocalDateTime value, bool milliseconds) {
  using namespace std::chrono;
  const auto day = floor<days>(value);
  const year_month_day ymd{day};
  const hh_mm_ss<std::chrono::milliseconds> time{value - day};
  std::tm tm{};
  tm.tm_year = static_cast<int>(ymd.year()) - 1900;
  tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
  tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
  tm.tm_hour = static_cast<int>(time.hours().count());
  tm.tm_min = static_cast<int>(time.minutes().count());
  tm.tm_sec = static_cast<int>(time.seconds().count());
  tm.tm_isdst = -1;
  const long long seconds = static_cast<long long>(std::mktime(&tm));
  std::string text = std::to_string(seconds);
  if (milliseconds) {
    const auto ms = static_cast<int>(time.subseconds().count());
    text += static_cast<char>('0' + ms / 100);
    text += static_cast<char>('0' + ms / 10 % 10);
    text += static_cast<char>('0' + ms % 10);
  }
  return text;
}

}  // namespace zor
