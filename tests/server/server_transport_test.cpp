// The bytes that followed a request head are read before the socket's, and
// the transport's size and readiness count them while they last.
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <string>

#include "server/server_transport.h"

namespace zor {
namespace {

TEST(ServerTransport, LeftoverBytesComeFirstAndAreCountedUntilTaken) {
  boost::asio::io_context io;
  TzorServerTransport transport(TzorAsyncConnection::Create(TzorAsyncConnection::Socket(io)), "abc");
  EXPECT_EQ(transport.InputBufferSize(), 3u);
  EXPECT_TRUE(transport.WaitForData(0));
  std::string out;
  EXPECT_EQ(transport.ReadFromBuffer(out, 2), 2u);
  EXPECT_EQ(transport.InputBufferSize(), 1u);
  EXPECT_EQ(transport.ReadFromBuffer(out, 10), 1u);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(transport.InputBufferSize(), 0u);
  EXPECT_FALSE(transport.WaitForData(0));

  transport.PutBack("xy");
  EXPECT_EQ(transport.InputBufferSize(), 2u);
  EXPECT_TRUE(transport.WaitForData(0));
  transport.PutBack("w");
  out.clear();
  EXPECT_EQ(transport.ReadFromBuffer(out, 10), 3u);
  EXPECT_EQ(out, "wxy");

  transport.PutBack("uv");
  char into[1];
  EXPECT_EQ(transport.ReceiveSome(std::span(into), 0), 1u);
  EXPECT_EQ(into[0], 'u');
  EXPECT_EQ(transport.InputBufferSize(), 1u);
  EXPECT_EQ(transport.ReceiveSome(std::span(into), 0), 1u);
  EXPECT_EQ(into[0], 'v');
  EXPECT_EQ(transport.ReceiveSome(std::span(into), 0), 0u);

  transport.PutBack("z");
  transport.ClearInput();
  EXPECT_EQ(transport.InputBufferSize(), 0u);
  EXPECT_FALSE(transport.WaitForData(0));
}

}  // namespace
}  // namespace zor
