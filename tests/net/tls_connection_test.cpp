// Blocking client connections against the event-driven server connection,
// over TLS, with the traffic log and the throttle in the path.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>

#include "async_test_server.h"
#include "net/connection.h"
#include "net/net_errors.h"
#include "net/openssl_engine.h"
#include "net/throttle.h"
#include "net/traffic_log.h"
#include "test_pki.h"

namespace zor {
namespace {

const test::TestPKI& PKI() {
  static const test::TestPKI pki;
  return pki;
}

std::shared_ptr<const TzorTLSContext> ServerContext(std::vector<std::string> alpn = {}) {
  TzorTLSSettings s = PKI().ServerSettings();
  s.ALPNProtocols = std::move(alpn);
  return NewOpenSSLContext(s);
}

std::shared_ptr<const TzorTLSContext> ClientContext(std::vector<std::string> alpn = {}) {
  TzorTLSSettings s;
  s.RootCertFile = PKI().CAFile();
  s.VerifyCertificate = true;
  s.ALPNProtocols = std::move(alpn);
  return NewOpenSSLContext(s);
}

void Configure(TzorConnection& c, uint16_t port) {
  c.Options().Host = "localhost";
  c.Options().Port = port;
  c.Options().ConnectTimeout = 10000;
  c.Options().ReadTimeout = 10000;
  c.Options().WriteTimeout = 10000;
}

std::string ReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(TLSConnection, EchoWithALPNThroughBothConnectionKinds) {
  std::atomic<bool> server_ready{false};
  std::string server_alpn;
  test::AsyncTestServer server(ServerContext({"h2", "http/1.1"}), [&](TzorAsyncConnection& connection, auto& h) {
    test::Echo(connection, h);
    h.OnReady = [&](TzorAsyncConnection& c) {
      server_alpn = c.NegotiatedALPN();
      server_ready = true;
    };
  });
  TzorConnection c;
  Configure(c, server.Port());
  c.SetTLS(ClientContext({"http/1.1", "h2"}));
  c.Connect();
  EXPECT_TRUE(c.TLSActive());
  EXPECT_EQ(c.NegotiatedALPN(), "h2");  // the server's preference
  EXPECT_EQ(c.TLSInfo().Version, "TLSv1.3");
  std::string payload(300000, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i % 251);
  c.Write(payload);
  EXPECT_EQ(c.ReadBytes(payload.size()), payload);
  EXPECT_TRUE(server_ready);
  EXPECT_EQ(server_alpn, "h2");
  c.Disconnect();
  EXPECT_FALSE(c.Connected());
  EXPECT_THROW(c.Write("late"), EzorClosedSocket);
}

// ReadBytes decrypts past the input buffer into its result: when the rest
// does not come, what did must wait for the next read, in order.
TEST(TLSConnection, ReadBytesThatFailsKeepsWhatCame) {
  // Echoes, and answers "bye" with "tail" and its close.
  test::AsyncTestServer server(ServerContext(), [](TzorAsyncConnection&, auto& h) {
    h.OnData = [](TzorAsyncConnection& c) {
      std::string data;
      c.ReadFromBuffer(data, SIZE_MAX);
      if (data != "bye") return c.Write(data);
      c.Write("tail");
      c.Disconnect();
    };
  });
  TzorConnection c;
  Configure(c, server.Port());
  c.SetTLS(ClientContext());
  c.Connect();
  c.Write("abcde");
  EXPECT_EQ(c.ReadBytes(2), "ab");
  c.Options().ReadTimeout = 50;
  EXPECT_THROW(c.ReadBytes(10), EzorReadTimeout);  // only "cde" comes
  c.Options().ReadTimeout = 10000;
  c.Write("fghij");
  EXPECT_EQ(c.ReadBytes(4), "cdef");
  // The same, decrypted into the caller's memory.
  c.Options().ReadTimeout = 50;
  std::string into(10, '\0');
  EXPECT_THROW(c.ReadBytes(std::span(into)), EzorReadTimeout);  // only "ghij" comes
  c.Options().ReadTimeout = 10000;
  c.Write("klmno");
  into.resize(6);
  c.ReadBytes(std::span(into));
  EXPECT_EQ(into, "ghijkl");
  EXPECT_EQ(c.ReadBytes(3), "mno");

  c.Write("bye");
  EXPECT_THROW(c.ReadBytes(10), EzorConnClosedGracefully);
  EXPECT_TRUE(c.Connected());  // "tail" is still to be read
  std::string rest;
  EXPECT_EQ(c.ReadSome(rest, 100), 4u);
  EXPECT_EQ(rest, "tail");
  EXPECT_FALSE(c.Connected());
}

// Decrypted straight into the caller's memory, or through the input buffer
// when an intercept must see the bytes first: the same bytes either way.
TEST(TLSConnection, ReceiveSomeWithAndWithoutIntercepts) {
  test::AsyncTestServer server(ServerContext(), [](TzorAsyncConnection&, auto& h) {
    h.OnData = [](TzorAsyncConnection& c) {
      std::string data;
      c.ReadFromBuffer(data, SIZE_MAX);
      c.Write(data);
    };
  });
  for (const bool intercepted : {false, true}) {
    TzorConnection c;
    Configure(c, server.Port());
    c.SetTLS(ClientContext());
    if (intercepted) c.AddIntercept(std::make_shared<TzorThrottle>(0));
    c.Connect();
    c.Write("abcdef");
    char into[4];
    std::string got;
    while (got.size() < 6) {
      const size_t n = c.ReceiveSome(std::span(into), 1000);
      ASSERT_GT(n, 0u);
      got.append(into, n);
    }
    EXPECT_EQ(got, "abcdef") << intercepted;
    EXPECT_EQ(c.ReceiveSome(std::span(into), 20), 0u);
  }
}

TEST(TLSConnection, HandshakeFailureLeavesTheConnectionClosed) {
  test::AsyncTestServer server(ServerContext(), test::Echo);
  TzorConnection c;
  Configure(c, server.Port());
  TzorTLSSettings wrong_trust;
  wrong_trust.VerifyCertificate = true;
  wrong_trust.RootCertFile = PKI().ServerCertFile();
  c.SetTLS(NewOpenSSLContext(wrong_trust));
  EXPECT_THROW(c.Connect(), EzorTLSError);
  EXPECT_FALSE(c.Connected());
  // An address literal is checked against the addresses the certificate names.
  c.SetTLS(ClientContext());
  c.Options().Host = "127.0.0.1";
  c.Connect();
  c.SetTLSHost("wrong.example");
  EXPECT_THROW(c.Connect(), EzorTLSError);
}

TEST(TLSConnection, TrafficLogHoldsClearTextLines) {
  test::AsyncTestServer server(ServerContext(), [](TzorAsyncConnection&, auto& h) {
    h.OnData = [](TzorAsyncConnection& c) {
      std::string data;
      c.ReadFromBuffer(data, SIZE_MAX);
      if (data.find("\r\n\r\n") != std::string::npos) c.Write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    };
  });
  const std::string file = PKI().Dir() + "/traffic.log";
  {
    std::ofstream earlier(file);
    earlier << "earlier line\r\n";
  }
  auto log = std::make_shared<TzorIdLogFileClient>();
  log->SetFileName(file);
  log->SetReplaceCRLF(false);
  log->SetActive(true);
  {
    TzorConnection c;
    Configure(c, server.Port());
    c.SetTLS(ClientContext());
    c.AddIntercept(log);
    c.Connect();
    c.Write("GET / HTTP/1.1\r\nApi-Key: k\r\n\r\n");
    EXPECT_EQ(c.ReadBytes(40), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    c.Disconnect();
  }
  const std::string text = ReadFile(file);
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)";
  const std::regex expected("earlier line\r\n"
                            "Stat Connected\\.\r\n"
                            "Sent " + stamp + ": GET / HTTP/1\\.1\r\nApi-Key: k\r\n\r\n\r\n"
                            "Recv " + stamp + ": HTTP/1\\.1 200 OK\r\nContent-Length: 2\r\n\r\nok\r\n"
                            "Stat Disconnected\\.\r\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;

  log->SetReplaceCRLF(true);
  log->LogSent("a\r\nb");
  EXPECT_NE(ReadFile(file).find(": a\\r\\nb\r\n"), std::string::npos);

  TzorIdLogFileClient unwritable;
  unwritable.SetFileName(PKI().Dir() + "/no/such/dir/log.txt");
  EXPECT_THROW(unwritable.SetActive(true), EFOpenError);
}

TEST(TLSConnection, ThrottleSlowsATransfer) {
  test::AsyncTestServer server(nullptr, test::Echo);
  TzorConnection c;
  Configure(c, server.Port());
  c.AddIntercept(std::make_shared<TzorThrottle>(64000));  // 8000 bytes per second
  c.Connect();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 8; ++i) {
    c.Write(std::string(1000, 'x'));
    c.ReadBytes(1000);
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // 8000 bytes each way at 8000 bytes per second: about a second per direction;
  // only a generous lower bound is checked.
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
}

TEST(Throttle, PausesInProportionToTheRate) {
  TzorThrottle off;
  EXPECT_EQ(off.Sent(std::string(1000, 'x')), TzorConnectionIntercept::Pause::zero());
  TzorThrottle throttle(8000);
  const auto first = throttle.Sent(std::string(500, 'x'));  // half a second of budget
  EXPECT_GT(first, std::chrono::milliseconds(400));
  EXPECT_LE(first, std::chrono::milliseconds(500));
  // The other direction has its own budget; the same direction queues behind.
  EXPECT_LE(throttle.Received(std::string(500, 'x')), std::chrono::milliseconds(500));
  EXPECT_GT(throttle.Sent(std::string(500, 'x')), std::chrono::milliseconds(900));
}

}  // namespace
}  // namespace zor
