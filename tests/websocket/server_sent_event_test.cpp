// The event-stream text of a message: a browser's EventSource must get the
// message back whole, with every kind of line end inside it.
#include "websocket/server_sent_event.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

TEST(ServerSentEvent, EveryLineOfTheDataIsAFieldAndAnEmptyLineEndsTheEvent) {
  EXPECT_EQ(ServerSentEvent("hello"), "data: hello\n\n");
  EXPECT_EQ(ServerSentEvent(""), "data: \n\n");
  // A line end inside the data would end the field early: each line gets its own.
  EXPECT_EQ(ServerSentEvent("a\nb\r\nc\rd"), "data: a\ndata: b\ndata: c\ndata: d\n\n");
  EXPECT_EQ(ServerSentEvent("last\n"), "data: last\ndata: \n\n");
  // "\n\n" in a message must not end the event.
  EXPECT_EQ(ServerSentEvent("x\n\ny"), "data: x\ndata: \ndata: y\n\n");
}

TEST(ServerSentEvent, ANamedEventStartsWithItsName) {
  EXPECT_EQ(ServerSentEvent("20260101", "Ping"), "event: Ping\ndata: 20260101\n\n");
}

}  // namespace
}  // namespace zor
