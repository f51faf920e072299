#pragma once
// The text of one server-sent event (the event-stream format of HTML): every
// line of the data as a "data:" field, after an "event:" field when the
// event has a name, and the empty line that ends the event.
#include <string>
#include <string_view>

namespace zor {

std::string ServerSentEvent(std::string_view data, std::string_view eventName = {});

}  // namespace zor
