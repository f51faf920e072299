// The client TLS engine against `openssl s_server`: version pinning and
// refusal, ALPN order, verification against a CA made here with the right
// and a wrong host name, and a server that asks for a client certificate.
#include <gtest/gtest.h>

#include <memory>

#include "net/connection.h"
#include "net/net_errors.h"
#include "net/openssl_engine.h"
#include "tests/interop/peer_process.h"
#include "tests/interop/tls/openssl_server_args.h"
#include "tests/net/test_pki.h"

namespace zor {
namespace {

using test::PeerProcess;

class OpenSSLServer : public ::testing::Test {
 protected:
  // Starts s_server with the test certificate and `extra` arguments; waits until it accepts.
  void StartServer(std::vector<std::string> extra) {
    port_ = test::FreeLoopbackPort();
    server_ = std::make_unique<PeerProcess>(test::OpenSSLServerArgs(pki_, port_, std::move(extra)),
                                            pki_.Dir() + "/s_server.log");
    ASSERT_TRUE(server_->WaitForOutput("ACCEPT")) << server_->Output();
  }

  std::unique_ptr<TzorConnection> Client(TzorTLSSettings settings, const std::string& host = "localhost") {
    auto c = std::make_unique<TzorConnection>();
    c->Options().Host = host;
    c->Options().Port = port_;
    c->Options().ConnectTimeout = 20000;
    c->Options().ReadTimeout = 20000;
    c->Options().WriteTimeout = 20000;
    c->SetTLS(NewOpenSSLContext(settings));
    return c;
  }

  TzorTLSSettings Verifying() const {
    TzorTLSSettings s;
    s.VerifyCertificate = true;
    s.RootCertFile = pki_.CAFile();
    return s;
  }

  // One line each way through the server's console.
  void Converse(TzorConnection& c, const std::string& tag) {
    c.Write(tag + " from client\n");
    ASSERT_TRUE(server_->WaitForOutput(tag + " from client")) << server_->Output();
    server_->WriteInput(tag + " from server\n");
    const std::string expected = tag + " from server\n";
    EXPECT_EQ(c.ReadBytes(expected.size()), expected);
  }

  test::TestPKI pki_;
  uint16_t port_ = 0;
  std::unique_ptr<PeerProcess> server_;
};

TEST_F(OpenSSLServer, PinnedToTLS12) {
  StartServer({"-tls1_2"});
  auto settings = Verifying();
  settings.Version = tls1_2;
  auto c = Client(settings);
  c->Connect();
  EXPECT_EQ(c->TLSInfo().Version, "TLSv1.2");
  Converse(*c, "one-two");
  c->Disconnect();

  settings.Version = tls1_3;
  auto refused = Client(settings);
  EXPECT_THROW(refused->Connect(), EzorTLSError);

  settings.Version = tlsUndefined;  // 1.0 to 1.3: meets the server at 1.2
  auto any = Client(settings);
  any->Connect();
  EXPECT_EQ(any->TLSInfo().Version, "TLSv1.2");
}

TEST_F(OpenSSLServer, OlderVersionWhenAskedForExplicitly) {
  StartServer({"-tls1_1", "-cipher", "DEFAULT:@SECLEVEL=0"});
  auto settings = Verifying();
  settings.Version = tls1_1;
  auto c = Client(settings);
  c->Connect();
  EXPECT_EQ(c->TLSInfo().Version, "TLSv1.1");
  Converse(*c, "one-one");
}

TEST_F(OpenSSLServer, PinnedToTLS13WithALPN) {
  StartServer({"-tls1_3", "-alpn", "http/1.1,h2"});
  auto settings = Verifying();
  settings.Version = tls1_3;
  settings.ALPNProtocols = {"h2", "http/1.1"};
  auto c = Client(settings);
  c->Connect();
  EXPECT_EQ(c->TLSInfo().Version, "TLSv1.3");
  EXPECT_TRUE(server_->WaitForOutput("ALPN protocols advertised by the client: h2, http/1.1")) << server_->Output();
  EXPECT_EQ(c->NegotiatedALPN(), "http/1.1");  // the server's preference
  Converse(*c, "one-three");
  c->Disconnect();

  settings.Version = tls1_2;
  auto refused = Client(settings);
  EXPECT_THROW(refused->Connect(), EzorTLSError);
}

TEST_F(OpenSSLServer, VerificationChecksChainAndHostName) {
  StartServer({});
  auto by_name = Client(Verifying(), "localhost");
  by_name->Connect();
  Converse(*by_name, "by-name");
  by_name->Disconnect();

  auto wrong_host = Client(Verifying(), "127.0.0.1");
  wrong_host->SetTLSHost("www.example.com");
  try {
    wrong_host->Connect();
    FAIL() << "a certificate for another host was accepted";
  } catch (const EzorTLSError& e) {
    EXPECT_NE(std::string(e.what()).find("verification failed"), std::string::npos) << e.what();
  }

  auto settings = Verifying();
  settings.RootCertFile = pki_.ClientCertFile();  // trusts something else
  auto untrusted = Client(settings);
  EXPECT_THROW(untrusted->Connect(), EzorTLSError);

  TzorTLSSettings unchecked;  // verification off: any certificate, any name
  auto any = Client(unchecked, "127.0.0.1");
  any->SetTLSHost("www.example.com");
  any->Connect();
  Converse(*any, "unchecked");
}

TEST_F(OpenSSLServer, ClientCertificateRequested) {
  StartServer({"-Verify", "1", "-CAfile", pki_.CAFile()});
  auto without = Client(Verifying());
  EXPECT_THROW(
      {
        without->Connect();
        // With TLS 1.3 the refusal arrives after the client finished.
        without->ReadBytes(1);
      },
      EzorTLSError);

  auto settings = Verifying();
  settings.CertFile = pki_.EncryptedClientCertFile();
  settings.KeyFile = pki_.EncryptedClientKeyFile();
  settings.OnGetPassword = [] { return std::string("secret"); };
  auto with = Client(settings);
  with->Connect();
  Converse(*with, "with-certificate");
  EXPECT_TRUE(server_->WaitForOutput("zor test client 2")) << server_->Output();
}

}  // namespace
}  // namespace zor
