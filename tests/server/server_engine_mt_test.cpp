// The event-driven engine with the first-bytes front: sockets are classified
// and handed on, heads that are too slow or too large cost their socket only,
// a peer that never reads is dropped, and the classified bytes reach the
// reader before later ones.
#include "server/server_engine.h"

#include <gtest/gtest.h>

#include "tests/server/eventually.h"

#include <atomic>
#include <future>
#include <thread>

#include "base/exceptions.h"
#include "net/connection.h"
#include "net/openssl_engine.h"
#include "server/server_socket.h"
#include "server/server_transport.h"
#include "tests/net/test_pki.h"

namespace zor {
namespace {

using test::Eventually;

TzorConnection& Connect(TzorConnection& c, uint16_t port, std::shared_ptr<const TzorTLSContext> tls = nullptr) {
  c.Options().Host = "127.0.0.1";
  c.Options().Port = port;
  c.Options().ConnectTimeout = c.Options().ReadTimeout = c.Options().WriteTimeout = 20000;
  c.SetTLS(std::move(tls));
  c.Connect();
  return c;
}

std::string ReadToEnd(TzorConnection& c) {
  std::string all;
  try {
    while (c.ReadSome(all, 1 << 16) > 0) {
    }
  } catch (const Exception&) {
    // reset by the server: what arrived before counts
  }
  return all;
}

// Waits for a condition that another thread brings about; no time is asserted.
// A server whose unknown-protocol sockets echo; it records what it classified.
struct EchoServer {
  explicit EchoServer(TzorServerSocketSettings settings, std::shared_ptr<const TzorTLSContext> tls = nullptr) {
    port = engine.Listen("127.0.0.1", 0, tls, [this, settings](TzorAsyncConnection& c, TzorAsyncConnection::Handlers& h) {
      auto socket = TzorServerSocket::Create(
          c, settings,
          [](TzorServerSocket& s, TzorRequestClassification&, std::string& bytes) {
            // The classified bytes come first through the transport, then the socket's.
            auto transport = std::make_shared<TzorServerTransport>(s.Connection().shared_from_this(), std::move(bytes));
            auto echo = [transport] {
              std::string more;
              transport->ReadFromBuffer(more, SIZE_MAX);
              try {
                transport->Write(more);
              } catch (const Exception&) {
                transport->Socket().Abort();  // the peer does not read: its queue is full
              }
            };
            s.SetDataHandler([echo](TzorAsyncConnection&) { echo(); });
            echo();
          },
          [this](TzorServerSocket&, const std::string& reason) {
            std::lock_guard guard(lock);
            reasons.push_back(reason);
          });
      socket->Install(h);
    });
  }
  std::vector<std::string> Reasons() {
    std::lock_guard guard(lock);
    return reasons;
  }
  TzorServerEngine engine{2};
  uint16_t port = 0;
  std::mutex lock;
  std::vector<std::string> reasons;
};

TEST(ServerEngine, UnknownProtocolEchoesAfterTheQuietTime) {
  EchoServer server({});
  TzorConnection c;
  Connect(c, server.port);
  c.Write("hello");
  EXPECT_EQ(c.ReadBytes(5), "hello");
  c.Write(" again");
  EXPECT_EQ(c.ReadBytes(6), " again");
  c.Disconnect();
  EXPECT_TRUE(Eventually([&] { return server.engine.ConnectionCount() == 0; }));
}

TEST(ServerEngine, ManyConnectionsShareTheWorkers) {
  EchoServer server({});
  std::vector<std::unique_ptr<TzorConnection>> clients;
  for (int i = 0; i < 50; ++i) {
    clients.push_back(std::make_unique<TzorConnection>());
    Connect(*clients.back(), server.port);
    clients.back()->Write("ping " + std::to_string(i) + "\n");
  }
  for (int i = 0; i < 50; ++i) {
    const std::string expected = "ping " + std::to_string(i) + "\n";
    EXPECT_EQ(clients[i]->ReadBytes(expected.size()), expected);
  }
  EXPECT_EQ(server.engine.ConnectionCount(), 50u);
  clients.clear();
  EXPECT_TRUE(Eventually([&] { return server.engine.ConnectionCount() == 0; }));
}

TEST(ServerEngine, SlowAndOversizedHeadsCostOnlyTheirSocket) {
  TzorServerSocketSettings settings;
  settings.HeadTimeOut = 300;
  settings.Classifier.MaxReadBufferSize = 1024;
  EchoServer server(settings);

  TzorConnection slow;
  Connect(slow, server.port);
  slow.Write("GET / HTTP/1.1\r\nHost: a\r\n");  // and never the empty line
  EXPECT_EQ(ReadToEnd(slow), "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\n\r\n");

  TzorConnection large;
  Connect(large, server.port);
  large.Write("GET / HTTP/1.1\r\nX: " + std::string(4096, 'x'));
  EXPECT_EQ(ReadToEnd(large), "HTTP/1.1 431 Request Header Fields Too Large\r\nConnection: close\r\n\r\n");

  TzorConnection silent;
  Connect(silent, server.port);
  EXPECT_EQ(ReadToEnd(silent), "");

  // Meanwhile others are served.
  TzorConnection good;
  Connect(good, server.port);
  good.Write("fine");
  EXPECT_EQ(good.ReadBytes(4), "fine");
  EXPECT_EQ(server.Reasons(), (std::vector<std::string>{"Request head not complete in time",
                                                        "Request head larger than the read buffer"}));
}

TEST(ServerEngine, APeerThatNeverReadsIsDropped) {
  EchoServer server({});
  TzorConnection c;
  Connect(c, server.port);
  ASSERT_TRUE(Eventually([&] { return server.engine.ConnectionCount() == 1; }));
  c.Write("start\n");
  EXPECT_EQ(c.ReadBytes(6), "start\n");
  const std::string chunk(1 << 16, 'z');
  // The echo queue fills while this side never reads: the server gives up on us.
  size_t written = 0;
  try {
    for (int i = 0; i < 2000 && server.engine.ConnectionCount() > 0; ++i) {
      c.Write(chunk);
      written += chunk.size();
    }
  } catch (const Exception&) {
    // writes fail once the server has closed
  }
  EXPECT_TRUE(Eventually([&] { return server.engine.ConnectionCount() == 0; }));
  EXPECT_GT(written, TzorAsyncConnection::kMaxQueuedBytes);
}

TEST(ServerEngine, TLSSocketsAreClassifiedAfterTheirHandshake) {
  test::TestPKI pki;
  EchoServer server({}, NewOpenSSLContext(pki.ServerSettings()));
  TzorTLSSettings client;
  client.RootCertFile = pki.CAFile();
  TzorConnection c;
  Connect(c, server.port, NewOpenSSLContext(client));
  c.Write("over tls");
  EXPECT_EQ(c.ReadBytes(8), "over tls");
}

TEST(ServerEngine, AStalledTLSHandshakeIsGivenUp) {
  test::TestPKI pki;
  TzorServerSocketSettings settings;
  settings.HeadTimeOut = 200;
  EchoServer server(settings, NewOpenSSLContext(pki.ServerSettings()));
  TzorConnection c;
  Connect(c, server.port);
  c.Write("\x16");  // the first byte of a handshake record, then nothing
  EXPECT_EQ(ReadToEnd(c), "");
  EXPECT_EQ(server.Reasons(), std::vector<std::string>{"Error starting SSL connection."});
}

}  // namespace
}  // namespace zor
