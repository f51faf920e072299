// The platform provider's transport on a real socket against `openssl
// s_server` and `gnutls-serv`: connection information, ALPN, the server's
// close notification (read answers -1) and a plain close (read answers 0).
#include <gtest/gtest.h>

#include <memory>

#include "http/schannel_io_handler.h"
#include "tests/interop/peer_process.h"
#include "tests/interop/tls/openssl_server_args.h"
#include "tests/net/test_pki.h"
#include "tests/net/test_stores.h"

namespace zor {
namespace {

using test::PeerProcess;

class PlatformTransport : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> argv, const std::string& log) {
    server_ = std::make_unique<PeerProcess>(argv, pki_.Dir() + "/" + log);
    ASSERT_TRUE(test::WaitForPort(port_)) << server_->Output();
  }

  std::unique_ptr<TzorIdSSLIOHandlerSocketSChannel> Transport(TwsTLSVersions version) {
    auto t = std::make_unique<TzorIdSSLIOHandlerSocketSChannel>();
    t->Options().Host = "127.0.0.1";
    t->Options().Port = port_;
    t->Options().ConnectTimeout = 20000;
    t->Options().ReadTimeout = 20000;
    t->SetURIToCheck("https://localhost:" + std::to_string(port_) + "/");
    t->SetTLSVersion(version);
    t->Certificate().SetVerifyCertificate(true);
    return t;
  }

  // Everything up to the end of the stream, and how it ended.
  static std::string ReadToEnd(TzorIdSSLIOHandlerSocketSChannel& t, int& end) {
    std::string text;
    char buffer[4096];
    for (;;) {
      const int n = t.ReadFromSource(buffer, sizeof buffer);
      if (n <= 0) {
        end = n;
        return text;
      }
      text.append(buffer, static_cast<size_t>(n));
    }
  }

  test::TestPKI pki_;
  test::TestStores stores_{pki_};
  uint16_t port_ = test::FreeLoopbackPort();
  std::unique_ptr<PeerProcess> server_;
};

TEST_F(PlatformTransport, CloseNotificationEndsReadsWithMinusOne) {
  stores_.TrustTestCA();
  Start(test::OpenSSLServerArgs(pki_, port_, {"-www", "-alpn", "h2,http/1.1"}), "s_server.log");
  auto t = Transport(tls1_2);
  t->SetALPNProtocols({"http/1.1"});
  t->Connect();
  EXPECT_TRUE(t->Connected());
  EXPECT_EQ(t->NegotiatedALPN(), "http/1.1");
  const TzorSChannelConnectionInfo* info = t->ConnectionInfo();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->Protocol, tls1_2);
  EXPECT_FALSE(info->Cipher.empty());
  EXPECT_GE(info->CiperStrength, 128u);
  const std::string request = "GET / HTTP/1.0\r\n\r\n";
  EXPECT_EQ(t->WriteToTarget(("xx" + request).data(), 2, static_cast<int>(request.size())),
            static_cast<int>(request.size()));
  EXPECT_TRUE(t->Readable(20000));
  int end = 1;
  const std::string page = ReadToEnd(*t, end);
  EXPECT_EQ(page.rfind("HTTP/1.0 200 ok", 0), 0u) << page;
  EXPECT_EQ(end, -1);
  t->Close();
  EXPECT_FALSE(t->Connected());
}

TEST_F(PlatformTransport, PlainCloseEndsReadsWithZero) {
  stores_.TrustTestCA();
  Start({"gnutls-serv", "--echo", "-a", "-p", std::to_string(port_), "--x509certfile", pki_.ServerCertFile(),
         "--x509keyfile", pki_.ServerKeyFile()},
        "gnutls-serv.log");
  auto t = Transport(tls1_3);
  t->Connect();
  EXPECT_EQ(t->ConnectionInfo()->Protocol, tls1_3);
  const std::string line = "echo me\n";
  ASSERT_EQ(t->WriteToTarget(line.data(), 0, static_cast<int>(line.size())), static_cast<int>(line.size()));
  char buffer[64];
  std::string echoed;
  while (echoed.size() < line.size()) {
    const int n = t->ReadFromSource(buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    echoed.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(echoed, line);
  server_->Stop();  // the process ends without a close notification
  int end = 1;
  EXPECT_EQ(ReadToEnd(*t, end), "");
  EXPECT_EQ(end, 0);
}

TEST_F(PlatformTransport, FailedStartRaisesSChannelError) {
  Start({"gnutls-serv", "--echo", "-a", "-p", std::to_string(port_), "--x509certfile", pki_.ServerCertFile(),
         "--x509keyfile", pki_.ServerKeyFile()},
        "gnutls-serv.log");
  TzorIdHTTPTLS_Options options;  // built as an HTTP client builds it
  options.SetIOHandler(iohSChannel);
  options.SetVersion(tls1_3);
  options.SetVerifyCertificate(true);
  options.SChannel_Options().SetCipherList("CALG_AES_256");
  auto t = NewSChannelIOHandler(options);
  EXPECT_EQ(t->CipherList(), "CALG_AES_256");
  t->Options().Host = "localhost";
  t->Options().Port = port_;  // the test CA is trusted by nobody
  try {
    t->Connect();
    FAIL() << "an untrusted server was accepted";
  } catch (const SChannelError& e) {
    EXPECT_STREQ(e.what(), "SChannel initialization error: CertVerifyCertificateChainPolicy.vStatus = 800B0109");
    EXPECT_EQ(e.CertStatus(), 0x800B0109u);
  }
  EXPECT_FALSE(t->Connected());
  auto copy = t->Clone();
  EXPECT_EQ(copy->TLSVersion(), tls1_3);
  EXPECT_TRUE(copy->Certificate().VerifyCertificate());
  copy->Certificate().SetVerifyCertificate(false);
  copy->Connect();
  EXPECT_TRUE(copy->Connected());
  EXPECT_EQ(copy->ConnectionInfo()->Cipher, "CALG_AES_256");
}

}  // namespace
}  // namespace zor
