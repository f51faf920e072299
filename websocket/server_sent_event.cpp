#include "websocket/server_sent_event.h"

namespace zor {

std::string ServerSentEvent(std::string_view data, std::string_view eventName) {
  std::string event;
  if (!eventName.empty()) event.append("event: ").append(eventName).append("\n");
  // CR LF, CR and LF all end a line of the format: each line is a field.
  size_t start = 0;
  for (;;) {
    const size_t end = data.find_first_of("\r\n", start);
    event.append("data: ").append(data.substr(start, end - start)).append("\n");
    if (end == std::string_view::npos) break;
    start = end + (data.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return event + "\n";
}

}  // namespace zor
