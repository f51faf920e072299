// The platform TLS provider against `gnutls-serv` and `openssl s_server`:
// versions, ALPN, verification and its failure texts, client certificates
// from a PKCS#12 file and from a store by thumbprint.
#include <gtest/gtest.h>

#include <memory>

#include "net/connection.h"
#include "net/schannel_error.h"
#include "net/schannel_tls_context.h"
#include "tests/interop/peer_process.h"
#include "tests/interop/tls/openssl_server_args.h"
#include "tests/net/test_pki.h"
#include "tests/net/test_stores.h"

namespace zor {
namespace {

using test::PeerProcess;

class PlatformTLS : public ::testing::Test {
 protected:
  void StartGnuTLS(std::vector<std::string> extra) {
    port_ = test::FreeLoopbackPort();
    std::vector<std::string> argv = {"gnutls-serv", "--echo", "-p", std::to_string(port_),
                                     "--x509certfile", pki_.ServerCertFile(), "--x509keyfile", pki_.ServerKeyFile()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    server_ = std::make_unique<PeerProcess>(argv, pki_.Dir() + "/gnutls-serv.log");
    ASSERT_TRUE(test::WaitForPort(port_)) << server_->Output();
  }

  void StartOpenSSL(std::vector<std::string> extra) {
    port_ = test::FreeLoopbackPort();
    server_ = std::make_unique<PeerProcess>(test::OpenSSLServerArgs(pki_, port_, std::move(extra)),
                                            pki_.Dir() + "/s_server.log");
    ASSERT_TRUE(server_->WaitForOutput("ACCEPT")) << server_->Output();
  }

  static TzorSChannelSettings Verifying(TwsTLSVersions version = tlsUndefined) {
    TzorSChannelSettings s;
    s.TLSVersion = version;
    s.Certificate.SetVerifyCertificate(true);
    return s;
  }

  std::unique_ptr<TzorConnection> Connect(const TzorSChannelSettings& settings, const std::string& tls_host = "localhost") {
    auto c = std::make_unique<TzorConnection>();
    c->Options().Host = "127.0.0.1";
    c->Options().Port = port_;
    c->Options().ConnectTimeout = 20000;
    c->Options().ReadTimeout = 20000;
    c->SetTLS(NewSChannelContext(settings));
    c->SetTLSHost(tls_host);
    c->Connect();
    return c;
  }

  // The SChannelError a connection attempt raises.
  SChannelError Failure(const TzorSChannelSettings& settings, const std::string& tls_host = "localhost") {
    try {
      auto c = Connect(settings, tls_host);
      c->ReadBytes(1);  // a refusal after the client's last flight
    } catch (const SChannelError& e) {
      return e;
    } catch (const std::exception& e) {
      ADD_FAILURE() << "not an SChannelError: " << e.what();
    }
    ADD_FAILURE() << "the connection did not fail";
    return SChannelError("", 0);
  }

  static void Echo(TzorConnection& c, const std::string& line) {
    c.Write(line);
    EXPECT_EQ(c.ReadBytes(line.size()), line);
  }

  void ConverseWithOpenSSL(TzorConnection& c, const std::string& tag) {
    c.Write(tag + " from client\n");
    ASSERT_TRUE(server_->WaitForOutput(tag + " from client")) << server_->Output();
    server_->WriteInput(tag + " from server\n");
    EXPECT_EQ(c.ReadBytes(tag.size() + 13), tag + " from server\n");
  }

  test::TestPKI pki_;
  test::TestStores stores_{pki_};
  uint16_t port_ = 0;
  std::unique_ptr<PeerProcess> server_;
};

TEST_F(PlatformTLS, VersionsAgainstGnuTLS) {
  stores_.TrustTestCA();
  StartGnuTLS({"-a"});
  for (const auto& [version, text] : {std::pair{tls1_2, "TLSv1.2"}, std::pair{tls1_3, "TLSv1.3"},
                                      std::pair{tlsUndefined, "TLSv1.3"}}) {
    auto c = Connect(Verifying(version));
    EXPECT_EQ(c->TLSInfo().Version, text);
    EXPECT_NE(c->TLSInfo().PeerSubject.find("CN=localhost"), std::string::npos) << c->TLSInfo().PeerSubject;
    Echo(*c, std::string(40000, 'x') + "\n");  // more than one record each way
  }
}

TEST_F(PlatformTLS, PinnedVersionRefusedByOpenSSL) {
  stores_.TrustTestCA();
  StartOpenSSL({"-tls1_3"});
  auto c = Connect(Verifying(tls1_3));
  EXPECT_EQ(c->TLSInfo().Version, "TLSv1.3");
  ConverseWithOpenSSL(*c, "thirteen");
  c->Disconnect();
  const SChannelError e = Failure(Verifying(tls1_2));
  EXPECT_EQ(std::string(e.what()).rfind("SChannel initialization error: InitializeSecurityContext returns ", 0), 0u)
      << e.what();
}

TEST_F(PlatformTLS, ALPNAgainstBothServers) {
  stores_.TrustTestCA();
  auto settings = Verifying(tls1_2);
  settings.ALPNProtocols = {"h2", "", "http/1.1"};  // the empty line is skipped
  StartOpenSSL({"-alpn", "http/1.1,h2"});
  auto c = Connect(settings);
  EXPECT_TRUE(server_->WaitForOutput("ALPN protocols advertised by the client: h2, http/1.1")) << server_->Output();
  EXPECT_EQ(c->NegotiatedALPN(), "http/1.1");
  c->Disconnect();
  server_.reset();

  StartGnuTLS({"-a", "--alpn", "h2"});
  settings.TLSVersion = tls1_3;
  auto g = Connect(settings);
  EXPECT_EQ(g->NegotiatedALPN(), "h2");
  Echo(*g, "alpn\n");
  settings.ALPNProtocols.clear();
  EXPECT_EQ(Connect(settings)->NegotiatedALPN(), "");
}

TEST_F(PlatformTLS, VerificationFailuresCarryTheChainStatus) {
  StartGnuTLS({"-a"});
  // The test CA is in no store yet.
  SChannelError untrusted = Failure(Verifying());
  EXPECT_STREQ(untrusted.what(), "SChannel initialization error: CertVerifyCertificateChainPolicy.vStatus = 800B0109");
  EXPECT_EQ(untrusted.CertStatus(), 0x800B0109u);

  auto with_file = Verifying();
  with_file.RootCertFile = pki_.CAFile();
  Echo(*Connect(with_file), "trusted by file\n");

  stores_.TrustTestCA();
  Echo(*Connect(Verifying()), "trusted by store\n");
  Echo(*Connect(Verifying(), "127.0.0.1"), "address\n");  // checked against the address
  SChannelError wrong_name = Failure(Verifying(), "www.example.com");
  EXPECT_STREQ(wrong_name.what(), "SChannel initialization error: CertVerifyCertificateChainPolicy.vStatus = 800B010F");
  EXPECT_EQ(wrong_name.CertStatus(), 0x800B010Fu);

  TzorSChannelSettings unchecked;  // no verification: any name
  Echo(*Connect(unchecked, "www.example.com"), "unchecked\n");
}

TEST_F(PlatformTLS, ClientCertificateFromPKCS12File) {
  stores_.TrustTestCA();
  StartOpenSSL({"-Verify", "1", "-CAfile", pki_.CAFile()});
  auto settings = Verifying();
  settings.Certificate.SetCertFile(
      stores_.WritePFX(pki_.EncryptedClientCertFile(), pki_.EncryptedClientKeyFile(), "secret", "pfx-pass", "c.p12"));
  settings.Certificate.SetCertFilePassword("pfx-pass");
  auto c = Connect(settings);
  ConverseWithOpenSSL(*c, "pkcs12");
  EXPECT_TRUE(server_->WaitForOutput("zor test client 2")) << server_->Output();
  c->Disconnect();

  settings.Certificate.SetCertFilePassword("wrong");
  EXPECT_STREQ(Failure(settings).what(), "SChannel initialization error: Cannot import the certificate.");

  // No password at all, given as an empty one.
  settings.Certificate.SetCertFile(
      stores_.WritePFX(pki_.ClientCertFile(), pki_.ClientKeyFile(), nullptr, nullptr, "open.p12"));
  settings.Certificate.SetCertFilePassword("");
  auto open = Connect(settings);
  ConverseWithOpenSSL(*open, "open-pkcs12");
  EXPECT_TRUE(server_->WaitForOutput("zor test client\n")) << server_->Output();
}

TEST_F(PlatformTLS, ClientCertificateFromStoreByThumbprint) {
  stores_.TrustTestCA();
  stores_.Put(scsnMY, scspStoreLocalMachine, "client.pem", {pki_.ClientCertFile(), pki_.ClientKeyFile()});
  StartGnuTLS({"-r", "--verify-client-cert", "--x509cafile", pki_.CAFile()});
  auto settings = Verifying(tls1_3);
  settings.Certificate.SetCertStorePath(scspStoreLocalMachine);
  const std::string thumbprint = test::TestStores::Thumbprint(pki_.ClientCertFile());
  settings.Certificate.SetCertHash(thumbprint);
  Echo(*Connect(settings), "by thumbprint\n");
  EXPECT_TRUE(server_->WaitForOutput("zor test client")) << server_->Output();

  settings.Certificate.SetCertHash(thumbprint.substr(1));
  EXPECT_STREQ(Failure(settings).what(), "SChannel initialization error: Invalid Certificate Hash Length, must be 40.");
  settings.Certificate.SetCertHash(std::string(40, '0'));
  EXPECT_STREQ(Failure(settings).what(), ("SChannel initialization error: Certificate not found in Store MY with Hash " +
                                          std::string(40, '0')).c_str());
  settings.Certificate.SetCertHash(std::string(39, '0') + "g");
  EXPECT_STREQ(Failure(settings).what(), "SChannel initialization error: Error calling method CryptStringToBinary.");
  settings.Certificate.SetCertHash(thumbprint);
  settings.Certificate.SetCertStoreName(scsnCA);  // no such folder
  EXPECT_STREQ(Failure(settings).what(), "SChannel initialization error: Cannot Open Certificate Store.");
}

TEST_F(PlatformTLS, ClientCertificateFromTheServersIssuerList) {
  stores_.TrustTestCA();
  stores_.Put(scsnMY, scspStoreCurrentUser, "client2.pem",
              {pki_.ClientCertFile(), pki_.ClientKeyFile()});
  StartOpenSSL({"-Verify", "1", "-CAfile", pki_.CAFile()});
  auto c = Connect(Verifying(tls1_2));
  ConverseWithOpenSSL(*c, "issuer-list");
  EXPECT_TRUE(server_->WaitForOutput("zor test client")) << server_->Output();
}

TEST_F(PlatformTLS, ServerAskedRenegotiation) {
  stores_.TrustTestCA();
  StartOpenSSL({"-tls1_2", "-msg"});
  auto c = Connect(Verifying(tls1_2));
  ConverseWithOpenSSL(*c, "before");
  server_->WriteInput("r\n");  // the server sends a hello request
  // Reading it starts the new handshake, before the server says more.
  EXPECT_FALSE(c->WaitForData(1000));
  ConverseWithOpenSSL(*c, "after");
  // The second hello came from the client reading the request.
  const std::string log = server_->Output();
  const size_t first = log.find("ClientHello");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find("ClientHello", first + 1), std::string::npos) << log;
  ConverseWithOpenSSL(*c, "later");
}

}  // namespace
}  // namespace zor
