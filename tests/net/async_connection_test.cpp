// The event-driven connection: ordering and coalescing of queued writes,
// closing after the queue drained, idle time-out, failures reported once.
#include "net/async_connection.h"

#include <gtest/gtest.h>

#include <future>

#include "async_test_server.h"
#include "net/connection.h"
#include "net/net_errors.h"
#include "net/openssl_engine.h"
#include "test_pki.h"

namespace zor {
namespace {

TzorConnection& Configure(TzorConnection& c, uint16_t port) {
  c.Options().Host = "127.0.0.1";
  c.Options().Port = port;
  c.Options().ConnectTimeout = c.Options().ReadTimeout = c.Options().WriteTimeout = 20000;
  return c;
}

TEST(AsyncConnection, QueuedWritesArriveInOrderThenTheConnectionCloses) {
  std::promise<bool> late_write_refused;
  test::AsyncTestServer server(nullptr, [&](TzorAsyncConnection&, TzorAsyncConnection::Handlers& h) {
    h.OnReady = [&](TzorAsyncConnection& c) {
      {
        TzorWriteBufferScope scope(c);
        c.Write("head:");
        c.Write(std::string(1 << 20, 'b'));
        scope.End();
      }
      c.Write(":tail");
      c.Disconnect();
      try {
        c.Write("late");
        late_write_refused.set_value(false);
      } catch (const EzorClosedSocket&) {
        late_write_refused.set_value(true);
      }
    };
  });
  TzorConnection c;
  Configure(c, server.Port()).Connect();
  std::string all;
  while (c.ReadSome(all, 1 << 16) > 0) {
  }
  EXPECT_EQ(all, "head:" + std::string(1 << 20, 'b') + ":tail");
  EXPECT_TRUE(late_write_refused.get_future().get());
}

TEST(AsyncConnection, IdleTimeoutAndOrderlyCloseReachTheHandlers) {
  std::promise<std::string> closed;
  test::AsyncTestServer server(nullptr, [&](TzorAsyncConnection& connection, TzorAsyncConnection::Handlers& h) {
    connection.SetIdleTimeout(100, [](TzorAsyncConnection& c) { c.Write("idle\n"); });
    h.OnData = [](TzorAsyncConnection& c) {
      std::string data;
      c.ReadFromBuffer(data, 100);
      EXPECT_FALSE(c.WaitForData(1000));  // never waits: nothing more is buffered
    };
    h.OnClosed = [&](TzorAsyncConnection&, std::exception_ptr failure) {
      closed.set_value(failure ? "failure" : "orderly");
    };
  });
  TzorConnection c;
  Configure(c, server.Port()).Connect();
  EXPECT_EQ(c.ReadBytes(5), "idle\n");
  c.Write("x");
  EXPECT_EQ(c.ReadBytes(5), "idle\n");  // counted again from the arrival
  c.Disconnect();
  EXPECT_EQ(closed.get_future().get(), "orderly");
}

TEST(AsyncConnection, FailedHandshakeIsReportedOnceWithItsError) {
  test::TestPKI pki;
  const TzorTLSSettings settings = pki.ServerSettings();
  std::promise<std::string> closed;
  std::atomic<int> reports{0}, ready{0};
  test::AsyncTestServer server(NewOpenSSLContext(settings),
                               [&](TzorAsyncConnection&, TzorAsyncConnection::Handlers& h) {
                                 h.OnReady = [&](TzorAsyncConnection&) { ++ready; };
                                 h.OnClosed = [&](TzorAsyncConnection&, std::exception_ptr failure) {
                                   if (++reports > 1) return;
                                   try {
                                     if (failure) std::rethrow_exception(failure);
                                     closed.set_value("orderly");
                                   } catch (const EzorTLSError& e) {
                                     closed.set_value(std::string("tls: ") + e.what());
                                   } catch (...) {
                                     closed.set_value("other");
                                   }
                                 };
                               });
  TzorConnection c;
  Configure(c, server.Port()).Connect();
  c.Write("GET / HTTP/1.1\r\nHost: x\r\n\r\n");  // plain HTTP to a TLS port
  EXPECT_EQ(closed.get_future().get().rfind("tls: TLS handshake failed", 0), 0u);
  EXPECT_EQ(ready, 0);
  std::string rest;
  while (c.ReadSome(rest, 1024) > 0) {
  }
  EXPECT_EQ(reports, 1);
}

TEST(AsyncConnection, APeerThatDoesNotReadHitsTheQueueBound) {
  std::promise<bool> bounded;
  test::AsyncTestServer server(nullptr, [&](TzorAsyncConnection&, TzorAsyncConnection::Handlers& h) {
    h.OnReady = [&](TzorAsyncConnection& c) {
      const std::string chunk(1 << 20, 'q');
      try {
        for (int i = 0; i < 256; ++i) c.Write(chunk);
        bounded.set_value(false);
      } catch (const EzorSocketError&) {
        bounded.set_value(true);
      }
    };
  });
  TzorConnection c;
  Configure(c, server.Port()).Connect();
  EXPECT_TRUE(bounded.get_future().get());
}

// An accept can complete with a socket that is already closed: such a
// connection must not announce itself ready to the application.
TEST(AsyncConnection, ASocketClosedBeforeTheStartOnlyEnds) {
  boost::asio::io_context io;
  auto connection = TzorAsyncConnection::Create(TzorAsyncConnection::Socket(io));
  int ready = 0;
  std::string closed;
  TzorAsyncConnection::Handlers handlers;
  handlers.OnReady = [&](TzorAsyncConnection&) { ++ready; };
  handlers.OnClosed = [&](TzorAsyncConnection&, std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
      closed = "orderly";
    } catch (const EzorClosedSocket& e) {
      closed = e.what();
    }
  };
  connection->Start(std::move(handlers));
  io.run();
  EXPECT_EQ(ready, 0);
  EXPECT_EQ(closed, "Not connected.");
  EXPECT_FALSE(connection->Connected());
}

// A peer that stopped reading must not keep a closing connection forever.
TEST(AsyncConnection, ClosingReachesAnEndWhenThePeerStopsReading) {
  test::TestPKI pki;
  const TzorTLSSettings settings = pki.ServerSettings();
  for (const bool tls : {true, false}) {
    SCOPED_TRACE(tls ? "disconnect after the queue bound (TLS)" : "abort with a write in progress (plain)");
    std::promise<void> closed;
    test::AsyncTestServer server(tls ? NewOpenSSLContext(settings) : nullptr,
                                 [&](TzorAsyncConnection& connection, TzorAsyncConnection::Handlers& h) {
                                   connection.SetCloseTimeout(200);
                                   h.OnReady = [&, tls](TzorAsyncConnection& c) {
                                     const std::string chunk(1 << 20, 'q');
                                     try {
                                       for (int i = 0; i < (tls ? 256 : 4); ++i) c.Write(chunk);
                                     } catch (const EzorSocketError&) {
                                     }
                                     if (tls)
                                       c.Disconnect();  // waits for a reader that never comes, then gives up
                                     else
                                       c.Abort();
                                   };
                                   h.OnClosed = [&](TzorAsyncConnection&, std::exception_ptr) { closed.set_value(); };
                                 });
    TzorConnection c;
    if (tls) c.SetTLS(NewOpenSSLContext(TzorTLSSettings{}));
    Configure(c, server.Port()).Connect();
    // Without an end the connection would wait for this reader for ever.
    ASSERT_EQ(closed.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
  }
}

}  // namespace
}  // namespace zor
