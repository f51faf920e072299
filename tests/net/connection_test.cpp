// The blocking connection over plain TCP against a scripted loopback peer.
#include "net/connection.h"

#include <gtest/gtest.h>

#include <future>

#include "loopback_peer.h"
#include "net/net_errors.h"

namespace zor {
namespace {

using test::LoopbackPeer;

TzorConnection& Configure(TzorConnection& c, uint16_t port, const char* host = "127.0.0.1") {
  c.Options().Host = host;
  c.Options().Port = port;
  c.Options().ConnectTimeout = 10000;
  c.Options().ReadTimeout = 10000;
  c.Options().WriteTimeout = 10000;
  return c;
}

TEST(Connection, InputBufferReadsAtMostWhatIsBuffered) {
  LoopbackPeer peer([](LoopbackPeer::Socket& s) {
    LoopbackPeer::WriteAll(s, "hello world");
    LoopbackPeer::ReadExactly(s, 1);  // keep open until the client is done
  });
  TzorConnection c;
  Configure(c, peer.Port()).Connect();
  EXPECT_TRUE(c.Connected());
  while (c.InputBufferSize() < 11) ASSERT_TRUE(c.WaitForData(10000));
  std::string out = "x";
  EXPECT_EQ(c.ReadFromBuffer(out, 5), 5u);
  EXPECT_EQ(out, "xhello");
  EXPECT_EQ(c.InputBufferSize(), 6u);
  EXPECT_EQ(c.ReadFromBuffer(out, 100), 6u);  // capped by what is buffered
  EXPECT_EQ(out, "xhello world");
  EXPECT_EQ(c.ReadFromBuffer(out, 100), 0u);
  EXPECT_FALSE(c.WaitForData(0));  // nothing more, no wait
  c.Write("x");
}

// Sends "abc", and "defg" once a byte came; ends after the next byte.
void AbcThenDefg(LoopbackPeer::Socket& s) {
  LoopbackPeer::WriteAll(s, "abc");
  LoopbackPeer::ReadExactly(s, 1);
  LoopbackPeer::WriteAll(s, "defg");
  LoopbackPeer::ReadExactly(s, 1);
}

TEST(Connection, ReadBytesAcrossSegmentsAndTimeOut) {
  LoopbackPeer peer(AbcThenDefg);
  TzorConnection c;
  Configure(c, peer.Port()).Connect();
  EXPECT_EQ(c.ReadBytes(3), "abc");
  c.Write("1");
  EXPECT_EQ(c.ReadBytes(2), "de");
  EXPECT_EQ(c.InputBufferSize(), 2u);
  c.Options().ReadTimeout = 50;
  EXPECT_THROW(c.ReadBytes(5), EzorReadTimeout);  // only 2 arrive
  EXPECT_EQ(c.InputBufferSize(), 2u);             // nothing lost
  std::string into(5, '\0');
  EXPECT_THROW(c.ReadBytes(std::span(into)), EzorReadTimeout);
  EXPECT_EQ(c.InputBufferSize(), 2u);
  into.resize(1);
  c.ReadBytes(std::span(into));
  EXPECT_EQ(into, "f");
  EXPECT_EQ(c.InputBufferSize(), 1u);
  c.ClearInput();
  EXPECT_EQ(c.InputBufferSize(), 0u);
  c.Write("2");
}

TEST(Connection, ReceiveSomeTakesBufferedBytesFirstThenReceivesStraight) {
  LoopbackPeer peer(AbcThenDefg);
  TzorConnection c;
  Configure(c, peer.Port()).Connect();
  while (c.InputBufferSize() < 3) ASSERT_TRUE(c.WaitForData(1000));
  char into[8];
  EXPECT_EQ(c.ReceiveSome(std::span(into, 2), 0), 2u);
  EXPECT_EQ(std::string_view(into, 2), "ab");
  EXPECT_EQ(c.ReceiveSome(std::span(into), -1), 1u);  // what is buffered, without waiting
  EXPECT_EQ(into[0], 'c');
  EXPECT_EQ(c.ReceiveSome(std::span(into), 20), 0u);  // nothing came in time
  c.Write("1");
  std::string got;
  while (got.size() < 4) {
    const size_t n = c.ReceiveSome(std::span(into, 2), 1000);
    ASSERT_GT(n, 0u);
    got.append(into, n);
    EXPECT_EQ(c.InputBufferSize(), 0u);  // the rest waits in the socket, not in the input buffer
  }
  EXPECT_EQ(got, "defg");
  c.Write("2");
  EXPECT_EQ(c.ReceiveSome(std::span(into), 1000), 0u);  // the peer closed
  EXPECT_FALSE(c.Connected());
}

TEST(Connection, PeerCloseIsReportedAfterBufferedBytes) {
  LoopbackPeer peer([](LoopbackPeer::Socket& s) { LoopbackPeer::WriteAll(s, "last words"); });
  TzorConnection c;
  Configure(c, peer.Port()).Connect();
  std::string out;
  while (c.ReadSome(out, 4) > 0) {
  }
  EXPECT_EQ(out, "last words");
  EXPECT_FALSE(c.Connected());
  EXPECT_THROW(c.CheckForDisconnect(), EzorConnClosedGracefully);
  EXPECT_THROW(c.ReadBytes(1), EzorConnClosedGracefully);
}

TEST(Connection, BufferedWritesLeaveTogetherOnFlush) {
  std::string seen;
  auto peer = std::make_unique<LoopbackPeer>([&](LoopbackPeer::Socket& s) { seen = LoopbackPeer::ReadExactly(s, 10); });
  TzorConnection c;
  Configure(c, peer->Port()).Connect();
  c.BeginWrite();
  c.Write("abc");
  c.Write("def");
  EXPECT_EQ(c.BytesSent(), 0u);  // collected, not sent
  c.FlushWrite();
  EXPECT_EQ(c.BytesSent(), 6u);
  c.Write("ghi");
  c.EndWrite();
  EXPECT_EQ(c.BytesSent(), 9u);
  {
    TzorWriteBufferScope scope(c);
    c.Write("dropped");  // scope left without End: dropped
  }
  c.Write("j");
  EXPECT_EQ(c.BytesSent(), 10u);
  peer.reset();  // joins the peer once it has read 10 bytes
  EXPECT_EQ(seen, "abcdefghij");
}

TEST(Connection, WriteToAPeerThatDoesNotReadTimesOut) {
  std::promise<void> written;
  LoopbackPeer peer([&](LoopbackPeer::Socket&) { written.get_future().wait(); });
  TzorConnection c;
  Configure(c, peer.Port()).Connect();
  c.Options().WriteTimeout = 200;
  // More than both socket buffers hold: the write waits, then gives up.
  EXPECT_THROW(c.Write(std::string(64 << 20, 'w')), EzorWriteTimeout);
  written.set_value();
}

TEST(Connection, ConnectFailuresRaise) {
  uint16_t closed_port;
  {
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor a(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    closed_port = a.local_endpoint().port();
  }
  TzorConnection c;
  Configure(c, closed_port);
  EXPECT_THROW(c.Connect(), EzorSocketError);
  EXPECT_FALSE(c.Connected());
  EXPECT_THROW(c.Write("x"), EzorClosedSocket);
  Configure(c, 80, "no-such-host.invalid");
  EXPECT_THROW(c.Connect(), EzorSocketError);
}

TEST(Connection, IPv6AndBoundPortRange) {
  LoopbackPeer peer([](LoopbackPeer::Socket& s) { LoopbackPeer::ReadExactly(s, 1); }, true);
  TzorConnection c;
  Configure(c, peer.Port(), "::1");
  c.Options().IPVersion = TzorIPVersion::ipV6;
  c.Options().BoundPortMin = 40000;
  c.Options().BoundPortMax = 40100;
  c.Connect();
  EXPECT_EQ(c.PeerIP(), "::1");
  EXPECT_GE(c.LocalPort(), 40000);
  EXPECT_LE(c.LocalPort(), 40100);
  c.Write("x");

  TzorConnection bad;
  Configure(bad, peer.Port(), "::1");
  bad.Options().BoundPortMin = 50;
  bad.Options().BoundPortMax = 40;
  EXPECT_THROW(bad.Connect(), EzorBindError);
}

}  // namespace
}  // namespace zor
