// The input buffer's size, read without its lock, follows every way bytes
// come in and go out.
#include <gtest/gtest.h>

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

  EXPECT_EQ(buffer.AppendWith([](std::string& data) {
    data += "abc";
    return size_t{3};
  }),
            3u);
  EXPECT_EQ(buffer.Size(), 50u * 1024 + 3);
  EXPECT_THROW(buffer.AppendWith([](std::string& data) -> size_t {
    data += "de";
    throw std::runtime_error("bad record");
  }),
               std::runtime_error);
  EXPECT_EQ(buffer.Size(), 50u * 1024 + 5);  // what the fill appended before it failed
  out.clear();
  EXPECT_EQ(buffer.Take(out, SIZE_MAX), 50u * 1024 + 5);
}

}  // namespace
}  // namespace zor
