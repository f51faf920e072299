// The OpenSSL transport of long-lived connections: its reading and writing
// rules, and one reader with several writers that use write buffers.
#include "http/openssl_io_handler.h"

#include <gtest/gtest.h>

#include <thread>

#include "net/net_errors.h"
#include "net/openssl_engine.h"
#include "tests/net/async_test_server.h"
#include "tests/net/test_pki.h"

namespace zor {
namespace {

class OpenSSLIOHandler : public ::testing::Test {
 protected:
  std::shared_ptr<const TzorTLSContext> ServerContext() {
    return NewOpenSSLContext(pki_.ServerSettings());
  }
  void Point(TzorIdSSLIOHandlerSocketOpenSSL& h, uint16_t port) {
    h.Options().Host = "localhost";
    h.Options().Port = port;
    h.Options().ConnectTimeout = h.Options().ReadTimeout = h.Options().WriteTimeout = 30000;
    TzorTCPTLS_Options options;
    options.SetVerifyCertificate(true);
    options.SetRootCertFile(pki_.CAFile());
    h.Configure(options);
  }
  test::TestPKI pki_;
};

TEST_F(OpenSSLIOHandler, ReadsNeedATLSLayerUnlessPassingThrough) {
  test::AsyncTestServer plain(nullptr, test::Echo);
  TzorIdSSLIOHandlerSocketOpenSSL h;
  Point(h, plain.Port());
  h.SetPassThrough(true);
  h.Connect();
  std::string out;
  EXPECT_EQ(h.ReadFromSource(out, 10), -1);  // no TLS layer
  h.Write("plain");
  ASSERT_TRUE(h.Readable(30000));  // pass-through: the socket's answer
  EXPECT_EQ(h.ReadBytes(5), "plain");

  TzorIdSSLIOHandlerSocketOpenSSL unconfigured;
  unconfigured.Options() = h.Options();
  EXPECT_THROW(unconfigured.Connect(), EzorTLSError);
  EXPECT_FALSE(unconfigured.Readable(0));  // neither TLS nor pass-through

  test::AsyncTestServer tls(ServerContext(), test::Echo);
  TzorIdSSLIOHandlerSocketOpenSSL secure;
  Point(secure, tls.Port());
  secure.Connect();
  EXPECT_TRUE(secure.TLSActive());
  secure.Write("sealed");
  std::string got;
  while (got.size() < 6) {
    ASSERT_TRUE(secure.Readable(30000));
    ASSERT_GE(secure.ReadFromSource(got, 100), 0);
  }
  EXPECT_EQ(got, "sealed");
}

TEST_F(OpenSSLIOHandler, OneReaderAndBufferedWritersDoNotBlockEachOther) {
  test::AsyncTestServer tls(ServerContext(), test::Echo);
  TzorIdSSLIOHandlerSocketOpenSSL h;
  Point(h, tls.Port());
  h.Connect();
  constexpr int kWriters = 3, kMessages = 150;
  const std::string body(500, 'm');
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < kMessages; ++i) {
        TzorWriteBufferScope scope(h);
        h.Write(std::string(1, static_cast<char>('0' + w)));
        h.Write(body);
        scope.End();
      }
    });
  }
  std::string received;
  const size_t expected = kWriters * kMessages * (1 + body.size());
  while (received.size() < expected) {
    if (h.Readable(30000)) {
      ASSERT_GE(h.ReadFromSource(received, 1 << 16), 0);
    }
  }
  for (auto& t : writers) t.join();
  for (size_t at = 0; at < received.size(); at += 1 + body.size())
    ASSERT_EQ(received.compare(at + 1, body.size(), body), 0) << "message at " << at << " was interleaved";
}

}  // namespace
}  // namespace zor
