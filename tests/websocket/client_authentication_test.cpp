#include <gtest/gtest.h>

#include "websocket/client_authentication.h"

namespace zor {
namespace {

TEST(WSClientAuthentication, URLPathEncodesUserAndPassword) {
  EXPECT_EQ(URLAuthenticationPath("alice", "s3cret"), "/zor/auth/url/alice/s3cret");
  // Characters that would change the path, start a query or a fragment, or
  // read as an escape are encoded, and so is everything beyond ASCII.
  EXPECT_EQ(URLAuthenticationPath("a/b", "p?q#r%s t"), "/zor/auth/url/a%2Fb/p%3Fq%23r%25s%20t");
  EXPECT_EQ(URLAuthenticationPath("\xC3\xA9", "-._~"), "/zor/auth/url/%C3%A9/-._~");
}

TEST(WSClientAuthentication, SessionRequestURL) {
  EXPECT_EQ(SessionRequestURL(false, "h", 8080, "u", "p w"), "http://h:8080/zor/req/auth/session/u/p%20w");
  EXPECT_EQ(SessionRequestURL(true, "h", 443, "u", "p"), "https://h:443/zor/req/auth/session/u/p");
}

TEST(WSClientAuthentication, SessionAnswerNeedsMoreThanTwoLines) {
  TzorWSAuthenticationClient_Session session;
  EXPECT_TRUE(ReadSessionAnswer("ID1\r\npermessage-deflate\r\nchat\r\n", session));
  EXPECT_EQ(session.ID(), "ID1");
  EXPECT_EQ(session.Extensions(), "permessage-deflate");
  EXPECT_EQ(session.Protocols(), "chat");

  TzorWSAuthenticationClient_Session two;
  EXPECT_FALSE(ReadSessionAnswer("ID2\nx", two));
  EXPECT_EQ(two.ID(), "");
  EXPECT_FALSE(ReadSessionAnswer("\n\n\n", two));
}

}  // namespace
}  // namespace zor
