// One reading thread and several writing threads on one TLS connection,
// against the event-driven server connection echoing from its pool; a reader
// waiting without a time-out, woken by a disconnection from another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

#include "async_test_server.h"
#include "loopback_peer.h"
#include "net/connection.h"
#include "net/net_errors.h"
#include "net/openssl_engine.h"
#include "test_pki.h"

namespace zor {
namespace {

TEST(ConnectionThreads, OneReaderManyWritersOverTLS) {
  test::TestPKI pki;
  test::AsyncTestServer echo(NewOpenSSLContext(pki.ServerSettings()), test::Echo);

  TzorTLSSettings client;
  client.VerifyCertificate = true;
  client.RootCertFile = pki.CAFile();
  TzorConnection c;
  c.Options().Host = "localhost";
  c.Options().Port = echo.Port();
  c.Options().ConnectTimeout = c.Options().ReadTimeout = c.Options().WriteTimeout = 30000;
  c.SetTLS(NewOpenSSLContext(client));
  c.Connect();

  constexpr int kWriters = 4, kMessages = 200, kBody = 700;
  // A message: writer id, sequence (2 bytes), then a body of its writer's letter,
  // written in two pieces inside one write buffer so that it must stay whole.
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&c, w] {
      for (int i = 0; i < kMessages; ++i) {
        TzorWriteBufferScope scope(c);
        c.Write(std::string{static_cast<char>(w), static_cast<char>(i >> 8), static_cast<char>(i & 0xFF)});
        c.Write(std::string(kBody, static_cast<char>('a' + w)));
        scope.End();
      }
    });
  }
  std::map<int, int> next;
  int whole = 0;
  for (int n = 0; n < kWriters * kMessages; ++n) {
    const std::string m = c.ReadBytes(3 + kBody);
    const int w = m[0];
    ASSERT_TRUE(w >= 0 && w < kWriters);
    const int seq = static_cast<uint8_t>(m[1]) << 8 | static_cast<uint8_t>(m[2]);
    EXPECT_EQ(seq, next[w]++);
    if (m.substr(3) == std::string(kBody, static_cast<char>('a' + w))) ++whole;
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(whole, kWriters * kMessages);
  c.Disconnect();
}

// The reader waits inside the receive call itself; Disconnect on another
// thread must end that wait (a reader left blocked hangs the test). Whether
// the reader was already waiting or not, it learns the connection is gone.
void ExpectDisconnectEndsEndlessWait(TzorConnection& c) {
  std::thread reader([&c] {
    try {
      EXPECT_FALSE(c.WaitForData(-1));
    } catch (const EzorClosedSocket&) {
      // Disconnected before the wait began.
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // most likely waiting by now
  c.Disconnect();
  reader.join();
  EXPECT_FALSE(c.Connected());
  EXPECT_EQ(c.InputBufferSize(), 0u);
}

TEST(ConnectionThreads, DisconnectEndsAReadWithoutTimeOut) {
  test::LoopbackPeer peer([](test::LoopbackPeer::Socket& s) { test::LoopbackPeer::ReadExactly(s, 1); });
  TzorConnection plain;
  plain.Options().Host = "127.0.0.1";
  plain.Options().Port = peer.Port();
  plain.Connect();
  ExpectDisconnectEndsEndlessWait(plain);

  test::TestPKI pki;
  test::AsyncTestServer echo(NewOpenSSLContext(pki.ServerSettings()), test::Echo);
  TzorTLSSettings settings;
  settings.RootCertFile = pki.CAFile();
  TzorConnection tls;
  tls.Options().Host = "localhost";
  tls.Options().Port = echo.Port();
  tls.SetTLS(NewOpenSSLContext(settings));
  tls.Connect();
  ExpectDisconnectEndsEndlessWait(tls);
}

// The socket receives straight into the input buffer without its lock: a
// ClearInput from another thread meanwhile drops what was there, and what
// the waiting receive then gets arrives whole.
TEST(ConnectionThreads, ClearInputDuringAWaitingReceive) {
  test::LoopbackPeer peer([](test::LoopbackPeer::Socket& s) {
    test::LoopbackPeer::WriteAll(s, "old");
    test::LoopbackPeer::ReadExactly(s, 1);
    test::LoopbackPeer::WriteAll(s, "newnew");
    test::LoopbackPeer::ReadExactly(s, 1);
  });
  TzorConnection c;
  c.Options().Host = "127.0.0.1";
  c.Options().Port = peer.Port();
  c.Connect();
  while (c.InputBufferSize() < 3) c.WaitForData(1000);
  std::string got;
  std::thread reader([&] { got = c.ReadBytes(6); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // most likely waiting by now
  c.ClearInput();
  c.Write("1");
  reader.join();
  EXPECT_EQ(got, "newnew");
  c.Write("2");
}

}  // namespace
}  // namespace zor
