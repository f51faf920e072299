// Tunnels through independent proxies on loopback: HTTP CONNECT through
// tinyproxy, SOCKS 5 through microsocks, SOCKS 4 through dante, with and
// without credentials; SOCKS 4A through a stand-in (dante refuses 4A).
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "net/connection.h"
#include "net/net_errors.h"
#include "net/openssl_engine.h"
#include "socks4a_stand_in.h"
#include "tests/interop/peer_process.h"
#include "tests/net/async_test_server.h"
#include "tests/net/test_pki.h"

namespace zor {
namespace {

using test::PeerProcess;

class Proxies : public ::testing::Test {
 protected:
  // A proxy program on a fresh port, waited for until it accepts.
  void StartProxy(const std::string& name, std::vector<std::string> argv) {
    proxy_ = std::make_unique<PeerProcess>(std::move(argv), pki_.Dir() + "/" + name + ".log");
    ASSERT_TRUE(test::WaitForPort(proxy_port_)) << proxy_->Output();
  }

  void StartTinyproxy(bool with_credentials) {
    const std::string conf = pki_.Dir() + "/tinyproxy.conf";
    std::ofstream f(conf);
    f << "Port " << proxy_port_ << "\nListen 127.0.0.1\nTimeout 60\nAllow 127.0.0.1\nLogLevel Info\n";
    if (with_credentials) f << "BasicAuth alice s3cret\n";
    f.close();
    StartProxy("tinyproxy", {"tinyproxy", "-d", "-c", conf});
  }

  void StartMicrosocks(bool with_credentials) {
    std::vector<std::string> argv = {"microsocks", "-i", "127.0.0.1", "-p", std::to_string(proxy_port_)};
    if (with_credentials) argv.insert(argv.end(), {"-u", "alice", "-P", "s3cret"});
    StartProxy("microsocks", argv);
  }

  void StartDante() {
    const std::string conf = pki_.Dir() + "/danted.conf";
    std::ofstream f(conf);
    f << "logoutput: stderr\n"
      << "internal: 127.0.0.1 port = " << proxy_port_ << "\n"
      << "external: 127.0.0.1\n"
      << "clientmethod: none\nsocksmethod: none\n";
    if (::geteuid() == 0) f << "user.privileged: root\nuser.unprivileged: nobody\n";
    f << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
      << "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n";
    f.close();
    StartProxy("danted", {"danted", "-f", conf, "-N", "1"});
  }

  std::unique_ptr<TzorConnection> Through(TwsProxy kind, uint16_t proxy_port, const std::string& user = "",
                                          const std::string& password = "", const std::string& host = "127.0.0.1") {
    auto c = std::make_unique<TzorConnection>();
    c->Options().Host = host;
    c->Options().Port = target_.Port();
    c->Options().ConnectTimeout = 20000;
    c->Options().ReadTimeout = 20000;
    c->Options().WriteTimeout = 20000;
    TzorProxySettings p;
    p.Enabled = true;
    p.ProxyType = kind;
    p.Host = "127.0.0.1";
    p.Port = proxy_port;
    p.Username = user;
    p.Password = password;
    c->SetProxy(p);
    return c;
  }

  static void ExpectEcho(TzorConnection& c) {
    const std::string message(5000, 'e');
    c.Write(message);
    EXPECT_EQ(c.ReadBytes(message.size()), message);
  }

  static std::string ProxyError(TzorConnection& c) {
    try {
      c.Connect();
    } catch (const EzorProxyError& e) {
      return e.what();
    }
    return "no proxy error";
  }

  test::TestPKI pki_;
  test::AsyncTestServer target_{nullptr, test::Echo};
  uint16_t proxy_port_ = test::FreeLoopbackPort();
  std::unique_ptr<PeerProcess> proxy_;
};

TEST_F(Proxies, HttpConnectThroughTinyproxy) {
  StartTinyproxy(false);
  auto c = Through(pxyHTTP, proxy_port_);
  c->Connect();
  ExpectEcho(*c);

  // TLS end to end through the tunnel, the name checked is the target's.
  test::AsyncTestServer tls_target(NewOpenSSLContext(pki_.ServerSettings()), test::Echo);
  TzorTLSSettings client;
  client.VerifyCertificate = true;
  client.RootCertFile = pki_.CAFile();
  auto tls = Through(pxyHTTP, proxy_port_, "", "", "localhost");
  tls->Options().Port = tls_target.Port();
  tls->SetTLS(NewOpenSSLContext(client));
  tls->Connect();
  EXPECT_EQ(tls->TLSInfo().Version, "TLSv1.3");
  ExpectEcho(*tls);
}

TEST_F(Proxies, HttpConnectWithCredentials) {
  StartTinyproxy(true);
  auto c = Through(pxyHTTP, proxy_port_, "alice", "s3cret");
  c->Connect();
  ExpectEcho(*c);

  auto anonymous = Through(pxyHTTP, proxy_port_);
  EXPECT_NE(ProxyError(*anonymous).find(" 407 "), std::string::npos) << proxy_->Output();
  auto wrong = Through(pxyHTTP, proxy_port_, "alice", "guess");
  // This proxy answers a wrong password with 401; the message carries its status line.
  EXPECT_EQ(ProxyError(*wrong).rfind("HTTP proxy refused the tunnel: HTTP/1.0 40", 0), 0u);
}

TEST_F(Proxies, Socks5ThroughMicrosocks) {
  StartMicrosocks(false);
  auto by_address = Through(pxySocks5, proxy_port_);
  by_address->Connect();
  ExpectEcho(*by_address);
  auto by_name = Through(pxySocks5, proxy_port_, "", "", "localhost");  // resolved by the proxy
  by_name->Options().IPVersion = TzorIPVersion::ipV4;
  by_name->Connect();
  ExpectEcho(*by_name);
}

TEST_F(Proxies, Socks5WithUserNameAndPassword) {
  StartMicrosocks(true);
  auto c = Through(pxySocks5, proxy_port_, "alice", "s3cret");
  c->Connect();
  ExpectEcho(*c);

  auto wrong = Through(pxySocks5, proxy_port_, "alice", "guess");
  EXPECT_EQ(ProxyError(*wrong).rfind("SOCKS 5 proxy rejected the user name or password", 0), 0u);
  auto anonymous = Through(pxySocks5, proxy_port_);
  EXPECT_EQ(ProxyError(*anonymous), "SOCKS 5 proxy accepts none of the offered authentication methods");
}

TEST_F(Proxies, Socks4ThroughDante) {
  StartDante();
  auto c = Through(pxySocks4, proxy_port_, "alice");
  c->Connect();
  ExpectEcho(*c);
  auto by_name = Through(pxySocks4, proxy_port_, "", "", "localhost");  // resolved here, sent as an address
  by_name->Connect();
  ExpectEcho(*by_name);

  // Nothing listens where the proxy is sent: its refusal is reported.
  auto refused = Through(pxySocks4, proxy_port_);
  refused->Options().Port = test::FreeLoopbackPort();
  EXPECT_EQ(ProxyError(*refused), "SOCKS 4 proxy rejected the request (91: rejected or failed)");
}

TEST_F(Proxies, Socks4AThroughStandIn) {
  test::Socks4AStandIn stand_in;
  auto c = Through(pxySocks4A, stand_in.Port(), "bob", "", "localhost");
  c->Connect();
  ExpectEcho(*c);
  EXPECT_EQ(stand_in.LastHost(), "localhost");  // the name went to the proxy unresolved
  EXPECT_EQ(stand_in.LastUser(), "bob");
}

}  // namespace
}  // namespace zor
