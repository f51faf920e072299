// The HTTP client and the REST base over real loopback connections against
// servers of the tests' own that record the exact request bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "http/http_client.h"
#include "http/http_exceptions.h"
#include "http/rest_api_client.h"
#include "net/net_errors.h"
#include "tests/http/local_server.h"
#include "tests/http/token_source.h"

namespace zor {
namespace {

using testing::Answer;
using testing::LocalConnectProxy;
using testing::LocalServer;
using testing::TestTokenSource;

// Echoes the request body back; "/denied" answers 401 with a JSON body.
std::string EchoOrDeny(const LocalServer::Request& r, bool& close) {
  close = true;
  if (r.head.find(" /denied ") != std::string::npos)
    return Answer("401 Unauthorized", "{\"error\":\"bad key \xC3\xA9\"}", "Content-Type: application/json\r\n");
  return Answer("200 OK", r.body.empty() ? "empty" : r.body, "Content-Type: application/json; charset=utf-8\r\n");
}

// Every HTTPS test runs with each TLS provider.
std::string ProviderName(const ::testing::TestParamInfo<TwsTLSIOHandler>& info) {
  return info.param == iohSChannel ? "Platform" : "OpenSSL";
}

class RESTOverTLS : public ::testing::TestWithParam<TwsTLSIOHandler> {
 protected:
  LocalServer server{true, EchoOrDeny};
  TzorHTTPAPI_client api;
  std::string url;
  void SetUp() override {
    api.TLSOptions().SetIOHandler(GetParam());
    // The service's host name, served on loopback.
    api.ConnectTo().push_back({"svc.example.test", 443, "127.0.0.1", server.Port()});
    url = "https://svc.example.test";
  }
  std::string Sent(size_t i) const { return server.Requests().at(i).bytes; }
};

TEST_P(RESTOverTLS, RequestBytesOverTLS12) {
  const TzorHeaderLines headers{"Api-Key: key-1", "accept: application/json", "content-type: application/json"};
  EXPECT_EQ(api.Get(url + "/databases", &headers), "empty");
  EXPECT_EQ(Sent(0),
            "GET /databases HTTP/1.1\r\nHost: svc.example.test\r\n"
            "User-Agent: Mozilla/5.0 (zorWebSockets 2023.6.0)\r\n"
            "Api-Key: key-1\r\naccept: application/json\r\ncontent-type: application/json\r\n\r\n");
  EXPECT_EQ(server.TLSVersions().at(0), "TLSv1.2");
  EXPECT_EQ(server.ServerNames().at(0), "svc.example.test");

  const std::string body = "{\"text\":\"gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80\"}";
  EXPECT_EQ(api.Post(url + "/query", body, &headers), body);  // non-ASCII both ways
  EXPECT_EQ(Sent(1).substr(0, 21), "POST /query HTTP/1.0\r");
  EXPECT_NE(Sent(1).find("Content-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);
  EXPECT_EQ(Sent(1).substr(Sent(1).size() - body.size()), body);
  api.Post(url + "/query", "{}", &headers, nullptr, true);
  EXPECT_EQ(Sent(2).substr(0, 21), "POST /query HTTP/1.1\r");

  EXPECT_EQ(api.Delete(url + "/vectors/delete", &headers), "empty");
  EXPECT_EQ(Sent(3).find("Content-Length"), std::string::npos);
  EXPECT_EQ(api.Delete(url + "/vectors/delete", &headers, "{\"ids\":[\"a\"]}"), "{\"ids\":[\"a\"]}");
  EXPECT_EQ(Sent(4).substr(0, 30), "DELETE /vectors/delete HTTP/1.");
  EXPECT_EQ(api.Patch(url + "/databases/x", "{\"replicas\":2}", &headers), "{\"replicas\":2}");
  EXPECT_EQ(api.Put(url + "/p", "{}", nullptr), "{}");
  EXPECT_EQ(server.Connections(), 7);  // a new connection and handshake per call
}

TEST_P(RESTOverTLS, ErrorStatusWithAndWithoutTheEvent) {
  const std::string expected = "HTTP/1.1 401 Unauthorized. {\"error\":\"bad key \xC3\xA9\"}";
  try {
    api.Get(url + "/denied", nullptr);
    FAIL() << "no error";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.Message(), expected);
  }
  std::string seen;
  api.OnHTTPAPIException = [&](TzorComponent_Base*, const std::exception& e) { seen = e.what(); };
  EXPECT_EQ(api.Post(url + "/denied", "{}", nullptr), "");
  EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Providers, RESTOverTLS, ::testing::Values(iohOpenSSL, iohSChannel), ProviderName);

uint16_t ClosedPort() {
  LocalServer gone(false, EchoOrDeny);
  return gone.Port();
}

TEST(RESTOverNetwork, RefusedConnectionAndUnknownHostAreErrors) {
  TzorHTTPAPI_client api;
  const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x";
  EXPECT_THROW(api.Get(refused, nullptr), EzorSocketError);
  EXPECT_THROW(api.Get("https://nonexistent.invalid/x", nullptr), EzorSocketError);
  std::vector<std::string> seen;
  api.OnHTTPAPIException = [&](TzorComponent_Base*, const std::exception& e) { seen.push_back(e.what()); };
  EXPECT_EQ(api.Get(refused, nullptr), "");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_FALSE(seen[0].empty());
}

class HTTPSOverNetwork : public ::testing::TestWithParam<TwsTLSIOHandler> {};
INSTANTIATE_TEST_SUITE_P(Providers, HTTPSOverNetwork, ::testing::Values(iohOpenSSL, iohSChannel), ProviderName);

TEST_P(HTTPSOverNetwork, HTTPSThenHTTPThenHTTPSOnOneClient) {
  auto ok = [](const LocalServer::Request&, bool& close) {
    close = false;
    return Answer("200 OK", "hi");
  };
  LocalServer tls(true, ok), plain(false, ok);
  TzorIdHTTP http;
  http.TLSOptions().SetIOHandler(GetParam());
  const std::string secure = "HTTPS://127.0.0.1:" + std::to_string(tls.Port()) + "/";
  EXPECT_EQ(http.Get(secure), "hi");
  EXPECT_NE(http.TLSHandler(), nullptr);
  EXPECT_EQ(http.Get("http://127.0.0.1:" + std::to_string(plain.Port()) + "/"), "hi");
  EXPECT_EQ(http.TLSHandler(), nullptr);
  EXPECT_EQ(http.Get(secure), "hi");
  EXPECT_NE(http.TLSHandler(), nullptr);
  EXPECT_EQ(tls.Connections(), 2);
  EXPECT_EQ(plain.Connections(), 1);
  EXPECT_EQ(tls.TLSVersions().at(1), "TLSv1.3");  // every version allowed by default
  // A kept connection serves the next request to the same endpoint.
  EXPECT_EQ(http.Get(secure), "hi");
  EXPECT_EQ(tls.Connections(), 2);
  EXPECT_EQ(tls.Requests().size(), 3u);
}

TEST(HTTPOverNetwork, ServerSentEventsEndQuietlyWhenTheHandlerCancels) {
  LocalServer server(false, EchoOrDeny);
  server.SetStreamer([](const LocalServer::Request&, const std::function<bool(const std::string&)>& write) {
    if (!write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n\r\n")) return;
    for (int i = 0; i < 500; ++i) {
      if (!write("data: event " + std::to_string(i) + "\n\n")) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  TzorIdHTTP http;
  std::vector<std::string> messages;
  http.OnSSEMessage = [&](TzorComponent_Base*, const std::string& message, bool& cancel) {
    messages.push_back(message);
    cancel = messages.size() == 3;
  };
  http.GetSSE("http://127.0.0.1:" + std::to_string(server.Port()) + "/events", "");
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].rfind("data: event 0\n\n", 0), 0u);  // a read may bring more than one
  EXPECT_FALSE(http.Connected());
  EXPECT_NE(server.Requests().at(0).head.find("Accept: text/event-stream\r\nCache-Control: no-store\r\n"),
            std::string::npos);
}

TEST_P(HTTPSOverNetwork, TrafficLogShowsTheExchangeInClear) {
  LocalServer server(true, EchoOrDeny);
  const std::string log = ::testing::TempDir() + "/http_traffic_" + std::to_string(getpid()) + ".log";
  std::remove(log.c_str());
  {
    TzorIdHTTP http;
    http.TLSOptions().SetIOHandler(GetParam());
    http.LogOptions().SetFileName(log);
    http.SetLog(true);
    http.Request().CustomHeaders.SetText("Api-Key: secret");
    EXPECT_EQ(http.Get("https://127.0.0.1:" + std::to_string(server.Port()) + "/logged"), "empty");
  }
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  const std::string lines = text.str();
  EXPECT_EQ(lines.rfind("Stat Connected.\r\n", 0), 0u) << lines;
  const size_t sent = lines.find("Sent ");
  ASSERT_NE(sent, std::string::npos) << lines;
  EXPECT_EQ(lines.substr(lines.find(": ", sent) + 2, 23), "GET /logged HTTP/1.1\r\nH");
  EXPECT_NE(lines.find("Api-Key: secret\r\n"), std::string::npos);
  EXPECT_NE(lines.find("Recv "), std::string::npos);
  EXPECT_NE(lines.find("HTTP/1.1 200 OK\r\n"), std::string::npos);
  EXPECT_EQ(lines.substr(lines.size() - 20), "Stat Disconnected.\r\n");
  std::remove(log.c_str());
}

TEST(HTTPOverNetwork, TokensAreAppliedAndRenewed) {
  LocalServer server(false, [](const LocalServer::Request&, bool& close) {
    close = false;
    return Answer("200 OK", "ok");
  });
  TestTokenSource jwt;
  int issued = 0;
  jwt.on_start = [&](TestTokenSource& s) { s.DoAuthToken("Bearer", "t" + std::to_string(++issued), ""); };
  TzorIdHTTP http;
  http.Authentication().Token().SetJWT(&jwt);
  http.Request().CustomHeaders.SetText("Authorization: Basic stale");
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
  http.Get(url);
  http.Get(url);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].head.substr(requests[0].head.size() - 28), "Authorization: Bearer t1\r\n\r\n");
  EXPECT_EQ(requests[1].head.substr(requests[1].head.size() - 28), "Authorization: Bearer t2\r\n\r\n");
  EXPECT_EQ(requests[1].head.find("Basic"), std::string::npos);
}

TEST_P(HTTPSOverNetwork, HTTPConnectProxyForPlainAndTLS) {
  auto ok = [](const LocalServer::Request&, bool& close) {
    close = true;
    return Answer("200 OK", "via proxy");
  };
  LocalServer tls(true, ok), plain(false, ok);
  LocalConnectProxy proxy;
  TzorIdHTTP http;
  http.TLSOptions().SetIOHandler(GetParam());
  http.Proxy().SetEnabled(true);
  http.Proxy().SetHost("127.0.0.1");
  http.Proxy().SetPort(proxy.Port());
  http.Proxy().SetUsername("user");
  http.Proxy().SetPassword("pass");
  EXPECT_EQ(http.Get("https://127.0.0.1:" + std::to_string(tls.Port()) + "/a"), "via proxy");
  EXPECT_EQ(http.Get("http://127.0.0.1:" + std::to_string(plain.Port()) + "/b"), "via proxy");
  const auto heads = proxy.Heads();
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(heads[0].rfind("CONNECT 127.0.0.1:" + std::to_string(tls.Port()) + " HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(heads[0].find("Proxy-Authorization: Basic dXNlcjpwYXNz\r\n"), std::string::npos);
  EXPECT_EQ(plain.Requests().at(0).bytes.rfind("GET /b HTTP/1.1\r\n", 0), 0u);
}

}  // namespace
}  // namespace zor
