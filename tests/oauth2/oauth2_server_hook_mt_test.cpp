// The authorization server on a real server over loopback sockets: sign-in,
// code, token, then HTTP requests and WebSocket upgrades that carry it; and
// one code exchanged from many threads at once.
#include "oauth2/oauth2_server_hook.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "tests/oauth2/oauth2_test_support.h"

namespace zor {
namespace {

constexpr const char* kRedirect = "http://127.0.0.1:1/cb";

struct OAuth2OnServer : ::testing::Test {
  OAuth2OnServer() {
    EXPECT_TRUE(oauth.RegisterApp("app", kRedirect, clientId, secret));
    test::AcceptUser(oauth, "alice", "pw");
    test::ServeOAuth2(server, oauth);
  }
  ~OAuth2OnServer() override { server.SetActive(false); }

  std::string Send(const std::string& request, bool headOnly = false) {
    return test::Exchange(server.ListeningPort(), request, headOnly);
  }
  static std::string Post(const std::string& path, const std::string& body) {
    return "POST " + path + " HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  }
  static std::string Find(const std::string& text, const std::string& pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : "";
  }
  std::string SignInAndGetCode() {
    const std::string page = Send("GET /zor/oauth2/auth?response_type=code&client_id=" + clientId +
                                  "&state=s1 HTTP/1.1\r\nHost: x\r\n\r\n");
    const std::string id = Find(page, "name=\"id\" value=\"([0-9a-f]{64})\"");
    const std::string redirect = Send(Post("/zor/oauth2/auth", "request_type=sign-in&username=alice&password=pw&id=" + id));
    EXPECT_TRUE(redirect.starts_with("HTTP/1.1 302 ")) << redirect;
    return Find(redirect, "Location: http://127\\.0\\.0\\.1:1/cb\\?code=([0-9a-f]{32})&state=s1\r\n");
  }

  TzorHTTPComponentServer_OAuth2 oauth;
  TzorWSHTTPServer server;
  std::string clientId, secret;
};

TEST_F(OAuth2OnServer, TokenFromTheCodeOpensRequestsAndUpgrades) {
  const std::string code = SignInAndGetCode();
  ASSERT_EQ(code.size(), 32u);
  const std::string answer = Send(Post("/zor/oauth2/token", "grant_type=authorization_code&code=" + code +
                                                                "&client_id=" + clientId + "&client_secret=" + secret));
  ASSERT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
  const std::string token = Find(answer, "\"access_token\":\"([0-9a-f]{64})\"");
  ASSERT_FALSE(token.empty());

  const std::string allowed = Send("GET /data HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + token + "\r\n\r\n");
  EXPECT_TRUE(allowed.ends_with("\r\n\r\nprotected data GET /data HTTP/1.1")) << allowed;
  const std::string refused = Send("GET /data HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + std::string(64, 'a') + "\r\n\r\n");
  EXPECT_TRUE(refused.starts_with("HTTP/1.1 401 Unauthorized\r\n")) << refused;
  EXPECT_EQ(refused.find("protected data"), std::string::npos);
  EXPECT_TRUE(Send("GET /data HTTP/1.1\r\nHost: x\r\n\r\n").starts_with("HTTP/1.1 401 Unauthorized\r\n"));

  const std::string upgrade = "GET /chat HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                              "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n";
  EXPECT_TRUE(Send(upgrade + "Authorization: Bearer " + token + "\r\n\r\n", true).starts_with("HTTP/1.1 101 "));
  EXPECT_EQ(Send(upgrade + "\r\n"), "");
}

TEST_F(OAuth2OnServer, ErrorsOfTheTokenAddressAreJSON) {
  const std::string answer = Send(Post("/zor/oauth2/token", "grant_type=authorization_code&code=nope"));
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 400 Bad Request\r\n")) << answer;
  EXPECT_NE(answer.find("Content-Type: application/json\r\n"), std::string::npos);
  EXPECT_NE(answer.find("\r\n\r\n{\"error\":\"invalid_grant\","), std::string::npos) << answer;
}

TEST(OAuth2Concurrency, OneCodeExchangedFromManyThreadsGivesOneToken) {
  TzorHTTPComponentServer_OAuth2 oauth;
  std::string clientId, secret;
  ASSERT_TRUE(oauth.RegisterApp("app", kRedirect, clientId, secret));
  oauth.OnOAuth2Authentication = [](TzorWSConnection*, const TzorHTTPOAuth2Request&, const std::string&,
                                    const std::string&, bool& ok) { ok = true; };
  const auto page = oauth.DoProcessHTTP(
      nullptr, ReadOAuth2HTTPRequest({"GET /zor/oauth2/auth?response_type=code&client_id=" + clientId + " HTTP/1.1"}, ""));
  std::smatch match;
  ASSERT_TRUE(std::regex_search(page.Body, match, std::regex("name=\"id\" value=\"([0-9a-f]{64})\"")));
  const std::string signIn = "request_type=sign-in&username=u&password=p&id=" + match[1].str();
  const auto redirect = oauth.DoProcessHTTP(nullptr, ReadOAuth2HTTPRequest({"POST /zor/oauth2/auth HTTP/1.1"}, signIn));
  const std::string code = redirect.Location.substr(redirect.Location.find("code=") + 5, 32);

  std::atomic<int> tokens{0}, refusals{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      const auto answer = oauth.DoProcessHTTP(
          nullptr, ReadOAuth2HTTPRequest({"POST /zor/oauth2/token HTTP/1.1"},
                                         "grant_type=authorization_code&code=" + code + "&client_id=" + clientId +
                                             "&client_secret=" + secret));
      (answer.Status == 200 ? tokens : refusals)++;
      oauth.IsOAuth2TokenValid(nullptr, std::string(64, 'b'));
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(tokens.load(), 1);
  EXPECT_EQ(refusals.load(), 7);
}

}  // namespace
}  // namespace zor
