// The HTTP client's requests through independent proxies, to plain and TLS
// targets of the test's own: HTTP CONNECT through tinyproxy and SOCKS 5
// through microsocks (both with credentials), SOCKS 4A through the stand-in
// (the host name travels to the proxy unresolved).
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "http/http_client.h"
#include "socks4a_stand_in.h"
#include "tests/http/local_server.h"
#include "tests/interop/peer_process.h"
#include "tests/net/test_pki.h"

namespace zor {
namespace {

using testing::Answer;
using testing::LocalServer;

std::string EchoTarget(const LocalServer::Request& request, bool& close) {
  close = true;
  return Answer("200 OK", "reached " + request.head.substr(0, request.head.find("\r\n")));
}

class HTTPThroughProxies : public ::testing::Test {
 protected:
  void UseProxy(TwsProxy kind, uint16_t port, const std::string& user = "", const std::string& password = "") {
    http_.Proxy().SetEnabled(true);
    http_.Proxy().SetProxyType(kind);
    http_.Proxy().SetHost("127.0.0.1");
    http_.Proxy().SetPort(port);
    http_.Proxy().SetUsername(user);
    http_.Proxy().SetPassword(password);
  }

  // The request must fail at the proxy, before it reaches the plain target.
  void ExpectRefused(const std::string& why) {
    const size_t before = plain_.Requests().size();
    try {
      http_.Get("http://127.0.0.1:" + std::to_string(plain_.Port()) + "/again");
      ADD_FAILURE() << "the request went through";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
    EXPECT_EQ(plain_.Requests().size(), before);
  }

  // A plain and a TLS request under `host`, each answered by its own target.
  void ExpectBothSchemes(const std::string& host) {
    EXPECT_EQ(http_.Get("http://" + host + ":" + std::to_string(plain_.Port()) + "/plain"),
              "reached GET /plain HTTP/1.1");
    EXPECT_EQ(http_.Get("https://" + host + ":" + std::to_string(tls_.Port()) + "/secure?x=1"),
              "reached GET /secure?x=1 HTTP/1.1");
    ASSERT_EQ(plain_.Requests().size(), 1u);
    ASSERT_EQ(tls_.Requests().size(), 1u);
    EXPECT_NE(tls_.Requests()[0].head.find("\r\nHost: " + host + ":" + std::to_string(tls_.Port()) + "\r\n"),
              std::string::npos);
  }

  LocalServer plain_{false, EchoTarget};
  LocalServer tls_{true, EchoTarget};
  TzorIdHTTP http_;
};

TEST_F(HTTPThroughProxies, Socks5WithCredentials) {
  const uint16_t port = test::FreeLoopbackPort();
  test::PeerProcess microsocks({"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port), "-u", "alice", "-P",
                                "s3cret"},
                               "/dev/null");
  ASSERT_TRUE(test::WaitForPort(port));
  UseProxy(pxySocks5, port, "alice", "s3cret");
  ExpectBothSchemes("127.0.0.1");

  UseProxy(pxySocks5, port, "alice", "guess");
  ExpectRefused("SOCKS 5 proxy rejected the user name or password");
}

TEST_F(HTTPThroughProxies, HttpConnectWithCredentials) {
  test::TestPKI scratch;  // a private folder for the configuration
  const uint16_t port = test::FreeLoopbackPort();
  const std::string conf = scratch.Dir() + "/tinyproxy.conf";
  std::ofstream(conf) << "Port " << port << "\nListen 127.0.0.1\nTimeout 60\nAllow 127.0.0.1\nBasicAuth alice s3cret\n";
  test::PeerProcess tinyproxy({"tinyproxy", "-d", "-c", conf}, scratch.Dir() + "/tinyproxy.log");
  ASSERT_TRUE(test::WaitForPort(port)) << tinyproxy.Output();
  UseProxy(pxyHTTP, port, "alice", "s3cret");
  ExpectBothSchemes("127.0.0.1");

  UseProxy(pxyHTTP, port, "alice", "guess");
  ExpectRefused("HTTP proxy refused the tunnel");
}

TEST_F(HTTPThroughProxies, Socks4AResolvesAtTheProxy) {
  test::Socks4AStandIn stand_in;
  UseProxy(pxySocks4A, stand_in.Port(), "bob");
  ExpectBothSchemes("localhost");
  EXPECT_EQ(stand_in.LastHost(), "localhost");
  EXPECT_EQ(stand_in.LastUser(), "bob");
  http_.Disconnect();  // the stand-in relays until its client leaves
}

}  // namespace
}  // namespace zor
