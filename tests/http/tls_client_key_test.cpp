// A client certificate whose key is encrypted: the HTTP client asks for the
// password (TLSOptions.Password, or an override of DoOnGetPassword) once, and
// a wrong password fails before anything is sent.
#include <gtest/gtest.h>

#include "http/http_client.h"
#include "net/openssl_engine.h"
#include "tests/net/async_test_server.h"
#include "tests/net/test_pki.h"

namespace zor {
namespace {

const test::TestPKI& PKI() {
  static const test::TestPKI pki;
  return pki;
}

// Answers every request with the subject of the client's certificate; refuses
// clients without one.
class CertificateEcho {
 public:
  CertificateEcho() : server_(Context(), [this](TzorAsyncConnection&, TzorAsyncConnection::Handlers& h) { Setup(h); }) {}
  uint16_t Port() const { return server_.Port(); }
  int Requests() const { return requests_; }

 private:
  static std::shared_ptr<const TzorTLSContext> Context() {
    TzorTLSSettings s = PKI().ServerSettings();
    s.RootCertFile = PKI().CAFile();
    s.VerifyCertificate = true;
    s.FailIfNoCertificate = true;
    return NewOpenSSLContext(s);
  }

  void Setup(TzorAsyncConnection::Handlers& h) {
    h.OnData = [this, received = std::make_shared<std::string>()](TzorAsyncConnection& c) {
      c.ReadFromBuffer(*received, SIZE_MAX);
      if (received->find("\r\n\r\n") == std::string::npos) return;
      ++requests_;
      const std::string body = c.TLSInfo().PeerSubject;
      c.Write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
              body);
      c.Disconnect();
    };
  }

  std::atomic<int> requests_{0};
  test::AsyncTestServer server_;
};

class PasswordFromOverride : public TzorIdHTTP {
 public:
  int asked = 0;

 protected:
  void DoOnGetPassword(std::string& aPassword) override {
    ++asked;
    aPassword = "secret";
  }
};

void UseEncryptedKey(TzorIdHTTP& http) {
  http.TLSOptions().SetCertFile(PKI().EncryptedClientCertFile());
  http.TLSOptions().SetKeyFile(PKI().EncryptedClientKeyFile());
}

TEST(TLSClientKey, PasswordFromTheOptions) {
  CertificateEcho server;
  TzorIdHTTP http;
  UseEncryptedKey(http);
  http.TLSOptions().SetPassword("secret");
  const std::string subject = http.Get("https://127.0.0.1:" + std::to_string(server.Port()) + "/");
  EXPECT_NE(subject.find("CN=zor test client 2"), std::string::npos) << subject;
}

TEST(TLSClientKey, PasswordFromAnOverrideIsAskedOnce) {
  CertificateEcho server;
  PasswordFromOverride http;
  UseEncryptedKey(http);
  const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/";
  EXPECT_NE(http.Get(url).find("CN=zor test client 2"), std::string::npos);
  EXPECT_NE(http.Get(url).find("CN=zor test client 2"), std::string::npos);
  EXPECT_EQ(server.Requests(), 2);
  EXPECT_EQ(http.asked, 1);  // the key is loaded once, with the TLS transport
}

TEST(TLSClientKey, WrongPasswordFailsClearlyBeforeSending) {
  CertificateEcho server;
  TzorIdHTTP http;
  UseEncryptedKey(http);
  http.TLSOptions().SetPassword("wrong");
  try {
    http.Get("https://127.0.0.1:" + std::to_string(server.Port()) + "/");
    ADD_FAILURE() << "the request went through";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot load key file \"" + PKI().EncryptedClientKeyFile() + "\""),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(server.Requests(), 0);
}

}  // namespace
}  // namespace zor
