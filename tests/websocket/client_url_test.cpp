#include <gtest/gtest.h>

#include "websocket/client_url.h"
#include "websocket/ws_types.h"

namespace zor {
namespace {

TEST(WSClientURL, SchemesChooseTLSPortAndProtocol) {
  auto a = ParseWSClientURL("wss://example.com/chat?x=1");
  EXPECT_EQ(a.Host, "example.com");
  EXPECT_TRUE(a.TLS);
  EXPECT_EQ(a.Port, 443);
  EXPECT_TRUE(a.RFC6455);
  EXPECT_EQ(a.Parameters, "/chat?x=1");

  a = ParseWSClientURL("tcp://10.0.0.1:9000");
  EXPECT_FALSE(a.TLS);
  EXPECT_EQ(a.Port, 9000);
  EXPECT_FALSE(a.RFC6455);
  EXPECT_EQ(a.Parameters, "");

  a = ParseWSClientURL("tcps://h:7000/");
  EXPECT_TRUE(a.TLS);
  EXPECT_FALSE(a.RFC6455);

  // http, https and unknown schemes are WebSocket without TLS.
  for (const char* url : {"http://h/", "https://h/", "ws://h/", "foo://h/"}) {
    a = ParseWSClientURL(url);
    EXPECT_FALSE(a.TLS) << url;
    EXPECT_EQ(a.Port, 80) << url;
    EXPECT_TRUE(a.RFC6455) << url;
  }
  // The scheme is compared as written.
  EXPECT_FALSE(ParseWSClientURL("WSS://h/").TLS);
}

TEST(WSClientURL, HostsPathsAndQueries) {
  auto a = ParseWSClientURL("ws://[::1]:8080");
  EXPECT_EQ(a.Host, "::1");
  EXPECT_EQ(a.Port, 8080);
  a = ParseWSClientURL("ws://h?only=query");
  EXPECT_EQ(a.Parameters, "/?only=query");
  // Escapes stay as written: the path goes on the wire as it is.
  a = ParseWSClientURL("ws://h/a%20b/c?q=%2F");
  EXPECT_EQ(a.Parameters, "/a%20b/c?q=%2F");
  a = ParseWSClientURL("ws://user:pw@h:81/x");
  EXPECT_EQ(a.Host, "h");
  EXPECT_EQ(a.Port, 81);
}

TEST(WSClientURL, MalformedURLsAreRefused) {
  for (const char* url : {"", "no scheme", "ws://", "ws:///path", "ws://h:99999/", "ws://h:0/", "ws://h:x/", "ws://h h/"}) {
    try {
      ParseWSClientURL(url);
      ADD_FAILURE() << url << " was accepted";
    } catch (const TzorWSException& e) {
      EXPECT_EQ(std::string(e.what()), std::string("Invalid URL: ") + url);
    }
  }
}

}  // namespace
}  // namespace zor
