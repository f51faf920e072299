// The input buffer's size, read without its lock, follows every way bytes
// come in and go out.
#include <gtest/gtest.h>

#include <span>
#include <stdexcept>
#include <string>

#include "net/input_buffer.h"

namespace zor {
namespace {

TEST(InputBuffer, SizeFollowsAppendsTakesAndClear) {
  TzorInputBuffer buffer;
  buffer.Append("hello ");
  buffer.Append("world");
  EXPECT_EQ(buffer.Size(), 11u);
  std::string out;
  EXPECT_EQ(buffer.Take(out, 4), 4u);
  EXPECT_EQ(out, "hell");
  EXPECT_EQ(buffer.Size(), 7u);
  EXPECT_EQ(buffer.Take(out, 100), 7u);
  EXPECT_EQ(out, "hello world");
  EXPECT_EQ(buffer.Size(), 0u);
  buffer.Append("again");
  EXPECT_EQ(buffer.Size(), 5u);
  buffer.Clear();
  EXPECT_EQ(buffer.Size(), 0u);
}

TEST(InputBuffer, SizeFollowsLargeHandOversAndInPlaceFills) {
  TzorInputBuffer buffer;
  const std::string large(200 * 1024, 'x');
  buffer.Append(large);
  std::string out;
  EXPECT_EQ(buffer.Take(out, SIZE_MAX), large.size());  // taken whole
  EXPECT_EQ(out.size(), large.size());
  EXPECT_EQ(buffer.Size(), 0u);

  buffer.Append(large);
  out.clear();
  buffer.Take(out, 150 * 1024);  // most of it: the front is dropped
  EXPECT_EQ(buffer.Size(), 50u * 1024);

  EXPECT_EQ(buffer.AppendWith(8, [](std::span<char> room) {
    room[0] = 'a', room[1] = 'b', room[2] = 'c';
    return size_t{3};
  }),
            3u);
  EXPECT_EQ(buffer.Size(), 50u * 1024 + 3);
  EXPECT_THROW(buffer.AppendWith(8, [](std::span<char> room) -> size_t {
    room[0] = 'd';
    throw std::runtime_error("bad record");
  }),
               std::runtime_error);
  EXPECT_EQ(buffer.Size(), 50u * 1024 + 3);  // a fill that fails adds nothing
  out.clear();
  EXPECT_EQ(buffer.Take(out, SIZE_MAX), 50u * 1024 + 3);
  EXPECT_EQ(out.substr(out.size() - 4), "xabc");
}

}  // namespace
}  // namespace zor
