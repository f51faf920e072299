// The JWT client as the HTTP client's token source, against a local server
// that lets a request in only with a valid bearer token.
#include "auth/jwt_client.h"
#include "auth/jwt_server.h"
#include "http/http_client.h"
#include "http/http_exceptions.h"
#include "jwt_test_support.h"
#include "tests/http/local_server.h"

#include <gtest/gtest.h>

#include <atomic>

namespace zor {
namespace {

using testing::Answer;
using testing::LocalServer;

class CountingJWT : public TzorHTTPComponentClient_JWT {
 public:
  std::atomic<int> starts{0};
  void Start() override {
    ++starts;
    TzorHTTPComponentClient_JWT::Start();
  }
};

std::vector<std::string> HeadLines(const std::string& head) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < head.size();) {
    const size_t end = head.find("\r\n", start);
    if (end == start || end == std::string::npos) break;
    lines.push_back(head.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string AuthorizationLine(const std::string& head) {
  for (const std::string& line : HeadLines(head))
    if (line.rfind("Authorization: ", 0) == 0) return line;
  return {};
}

class JWTClientOverHTTP : public ::testing::Test {
 protected:
  JWTClientOverHTTP()
      : server_(false, [this](const LocalServer::Request& request, bool& close) {
          close = false;
          return checker_.IsJWTTokenValid(nullptr, HeadLines(request.head)) ? Answer("200 OK", "welcome")
                                                                               : Answer("401 Unauthorized", "no");
        }) {
    checker_.JWTOptions().Algorithms().RS().SetPublicKeyText(test::ReadKey("rsa2048_public.pem"));
    jwt_.JWTOptions().Header().Setalg(jwtRS256);
    jwt_.JWTOptions().Algorithms().RS().SetPrivateKeyText(test::ReadKey("rsa2048_pkcs8.pem"));
    jwt_.JWTOptions().Payload().Setsub("client");
    http_.Authentication().Token().SetJWT(&jwt_);
    http_.Authentication().Token().SetReadTimeout(10000);
    url_ = "http://127.0.0.1:" + std::to_string(server_.Port()) + "/private";
  }

  TzorHTTPComponentServer_JWT checker_;
  LocalServer server_;
  CountingJWT jwt_;
  TzorIdHTTP http_;
  std::string url_;
};

TEST_F(JWTClientOverHTTP, BearerTokenIsSentAndRenewedWhenDue) {
  // No refresh interval: the token is due again at once.
  EXPECT_EQ(http_.Get(url_), "welcome");
  EXPECT_EQ(http_.Get(url_), "welcome");
  EXPECT_EQ(jwt_.starts.load(), 2);
  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(AuthorizationLine(requests[0].head).rfind("Authorization: Bearer ey", 0), 0u) << requests[0].head;

  // With an hour's lifetime the token is kept for the next request.
  jwt_.JWTOptions().SetRefreshTokenAfter(3600);
  EXPECT_EQ(http_.Get(url_), "welcome");
  EXPECT_EQ(http_.Get(url_), "welcome");
  EXPECT_EQ(jwt_.starts.load(), 3);
  requests = server_.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(AuthorizationLine(requests[2].head), AuthorizationLine(requests[3].head));
  EXPECT_NE(AuthorizationLine(requests[2].head), "");
}

TEST_F(JWTClientOverHTTP, WrongKeyIsRefusedAndSigningFailuresReachTheCaller) {
  jwt_.JWTOptions().Algorithms().RS().SetPrivateKeyText(test::ReadKey("rfc7515_a2_private.pem"));
  try {
    http_.Get(url_);
    FAIL() << "a token of another key was accepted";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode(), 401);
  }
  jwt_.JWTOptions().Header().Setalg(jwtNone);
  try {
    http_.Get(url_);
    FAIL() << "an empty token went unreported";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Error JWT Error. JWT Token cannot be empty.");
  }
}

}  // namespace
}  // namespace zor
