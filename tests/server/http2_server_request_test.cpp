// An HTTP/2 stream's request in the handlers' terms, and their answer back.
#include "server/http2_server_request.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

TEST(HTTP2ServerRequest, PseudoHeadersCookiesAndBody) {
  TzorHTTP2_HeaderList headers;
  headers.Add(":method", "POST");
  headers.Add(":scheme", "https");
  headers.Add(":authority", "example.com:8443");
  headers.Add(":path", "/a%20b?x=1");
  headers.Add("cookie", "a=1");
  headers.Add("cookie", "b=2");
  headers.Add("authorization", "Basic dXNlcjpzZWNyZXQ=");
  const std::string body = "payload";
  const TzorHTTPServerRequest r =
      HTTP2ServerRequest(headers, {reinterpret_cast<const uint8_t*>(body.data()), body.size()});
  EXPECT_EQ(r.Command, "POST");
  EXPECT_EQ(r.Version, "HTTP/2");
  EXPECT_EQ(r.Document, "/a b");
  EXPECT_EQ(r.Param("x"), "1");
  EXPECT_EQ(r.Host, "example.com:8443");
  EXPECT_EQ(r.Cookie("a"), "1");
  EXPECT_EQ(r.Cookie("b"), "2");
  EXPECT_TRUE(r.AuthExists);
  EXPECT_EQ(r.AuthUsername, "user");
  EXPECT_EQ(r.PostStream, "payload");
  for (const auto& [name, value] : r.RawHeaders) EXPECT_NE(name.front(), ':');
}

TEST(HTTP2ServerRequest, ResponseLinesAndCookies) {
  TzorHTTPServerResponse response;
  response.SetStatus(201);
  response.ContentText = "{}";
  response.ContentType = "application/json";
  response.CharSet = "utf-8";
  response.CustomHeaders = {"x-a: 1"};
  response.Cookies.push_back({"s", "v", "/", 60, true, true});
  const TzorHTTP2ResponseInfo answer = HTTP2ResponseInfo(response);
  EXPECT_EQ(answer.ResponseCode, 201);
  EXPECT_EQ(answer.RawHeaders, (std::vector<std::string>{"content-type: application/json; charset=utf-8", "x-a: 1"}));
  EXPECT_EQ(answer.Cookies, std::vector<std::string>{"s=v; Path=/; Max-Age=60; HttpOnly; Secure"});
  EXPECT_EQ(answer.ContentText, "{}");
}

}  // namespace
}  // namespace zor
