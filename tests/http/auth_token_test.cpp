// Token sources feeding the client's "Authorization" line, on the requesting thread.
#include <gtest/gtest.h>

#include "http/http_client.h"
#include "http/http_exceptions.h"
#include "tests/http/scripted_transport.h"
#include "tests/http/token_source.h"

namespace zor {
namespace {

using testing::ScriptedHTTP;
using testing::ScriptedServer;
using testing::TestTokenSource;

std::string Ok() { return "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"; }

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

TEST(AuthToken, OneAuthorizationLineReplacesEarlierOnes) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  TestTokenSource oauth;
  int issued = 0;
  oauth.on_start = [&](TestTokenSource& s) { s.DoAuthToken("Bearer", "tok" + std::to_string(++issued), ""); };
  http.Authentication().Token().SetOAuth(&oauth);
  http.Request().CustomHeaders.SetText("authorization: Basic old\r\nX-A: 1\r\nAUTHORIZATION: x");
  server.responses = {Ok(), Ok()};
  http.Get("http://h/1");
  http.Get("http://h/2");
  const std::string sent = server.AllReceived();
  EXPECT_EQ(Occurrences(sent, "uthorization"), 2u) << sent;  // one per request
  EXPECT_EQ(Occurrences(sent, "X-A: 1\r\nAuthorization: Bearer tok1\r\n\r\n"), 2u) << sent;
  EXPECT_EQ(oauth.starts, 1);  // an OAuth2 token is kept
}

TEST(AuthToken, JWTTokensAreRenewedAfterTheirRefreshInterval) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  TestTokenSource jwt;
  int issued = 0;
  jwt.on_start = [&](TestTokenSource& s) { s.DoAuthToken("Bearer", "j" + std::to_string(++issued), ""); };
  http.Authentication().Token().SetJWT(&jwt);
  server.responses = {Ok(), Ok(), Ok(), Ok()};
  http.Get("http://h/1");
  http.Get("http://h/2");
  EXPECT_EQ(jwt.starts, 2);  // refresh 0: expired as soon as it arrived
  EXPECT_NE(server.AllReceived().find("Authorization: Bearer j2\r\n"), std::string::npos);
  jwt.refresh_seconds = 3600;
  http.Get("http://h/3");
  http.Get("http://h/4");
  EXPECT_EQ(jwt.starts, 3);
}

TEST(AuthToken, FailureRaisesAndNothingIsSent) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  TestTokenSource jwt;
  jwt.on_start = [](TestTokenSource& s) { s.DoAuthTokenError("JWT Error", "JWT Token cannot be empty.", ""); };
  http.Authentication().Token().SetJWT(&jwt);
  server.responses = {Ok()};
  try {
    http.Get("http://h/1");
    FAIL() << "no error";
  } catch (const EzorHTTPAuthTokenError& e) {
    EXPECT_STREQ(e.what(), "Error JWT Error. JWT Token cannot be empty.");
  }
  EXPECT_TRUE(server.connections.empty());
}

TEST(AuthToken, NoTokenInTimeSendsTheRequestWithout) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  TestTokenSource silent;
  http.Authentication().Token().SetOAuth(&silent);
  http.Authentication().Token().SetReadTimeout(20);
  server.responses = {Ok()};
  http.Get("http://h/1");
  EXPECT_EQ(server.AllReceived().find("Authorization"), std::string::npos);
}

TEST(AuthToken, OptionsCopyAndForgetDestroyedSources) {
  TzorIdHTTPAuthentication_Options a, b;
  auto source = std::make_unique<TestTokenSource>();
  a.Token().SetJWT(source.get());
  a.Token().SetReadTimeout(5);
  b.Assign(a);
  EXPECT_EQ(b.Token().JWT(), source.get());
  EXPECT_EQ(b.Token().OAuth(), nullptr);
  EXPECT_EQ(b.Token().ReadTimeout(), 5);
  source.reset();
  EXPECT_EQ(b.Token().JWT(), nullptr);
  try {
    b.Token().Assign(b);
    FAIL() << "unrelated classes assigned";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzorIdHTTPAuthentication_Options to a TzorHTTPAuthentication_Token");
  }
  TzorIdHTTP http;
  EXPECT_EQ(http.Authentication().Token().ReadTimeout(), 60000);
  EXPECT_EQ(http.Request().UserAgent, "Mozilla/5.0 (zorWebSockets 2023.6.0)");
  EXPECT_EQ(http.Version(), "2023.6.0");
}

}  // namespace
}  // namespace zor
