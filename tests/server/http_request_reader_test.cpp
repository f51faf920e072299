// The HTTP/1.x request reader without sockets: requests cut anywhere,
// pipelined, chunked, waiting for 100-continue, and what it refuses.
#include "server/http_request_reader.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

using R = TzorHTTPRequestReader;

const std::string kPost =
    "POST /a%20b/c?x=1&y=two+words&x=3 HTTP/1.1\r\nHost: h\r\nCookie: s=1; t=two\r\n"
    "Authorization: Basic dXNlcjpwYTpzcw==\r\nContent-Length: 5\r\n\r\nhello";

TEST(HTTPRequestReader, ARequestCutAtEveryByteReadsTheSame) {
  for (size_t cut = 0; cut <= kPost.size(); ++cut) {
    R reader;
    reader.Append(kPost.substr(0, cut));
    R::TStep step = reader.Next();
    if (cut < kPost.size()) {
      ASSERT_EQ(step, R::stNeedMore) << cut;
      reader.Append(kPost.substr(cut));
      step = reader.Next();
    }
    ASSERT_EQ(step, R::stRequest) << cut;
    const TzorHTTPServerRequest r = reader.TakeRequest();
    EXPECT_EQ(r.Command, "POST");
    EXPECT_EQ(r.Document, "/a b/c");
    EXPECT_EQ(r.QueryParams, "x=1&y=two+words&x=3");
    EXPECT_EQ(r.Param("y"), "two words");
    EXPECT_EQ(r.Params.size(), 3u);
    EXPECT_EQ(r.Cookie("t"), "two");
    EXPECT_TRUE(r.AuthExists);
    EXPECT_EQ(r.AuthUsername, "user");
    EXPECT_EQ(r.AuthPassword, "pa:ss");  // only the first colon separates
    EXPECT_EQ(r.PostStream, "hello");
    EXPECT_EQ(r.Host, "h");
    EXPECT_TRUE(r.KeepAlive);
    EXPECT_EQ(reader.Next(), R::stNeedMore);
    EXPECT_EQ(reader.Pending(), 0u);
  }
}

TEST(HTTPRequestReader, PipelinedRequestsComeOutInOrder) {
  R reader;
  reader.Append("GET /1 HTTP/1.1\r\n\r\nHEAD /2 HTTP/1.1\r\n\r\nPROPFIND /3 HTTP/1.0\r\n\r\nGET /4 HT");
  std::vector<std::string> seen;
  while (reader.Next() == R::stRequest) {
    const auto r = reader.TakeRequest();
    seen.push_back(r.Command + " " + r.Document + " " + r.Version + (r.KeepAlive ? " keep" : " close"));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"GET /1 HTTP/1.1 keep", "HEAD /2 HTTP/1.1 keep",
                                            "PROPFIND /3 HTTP/1.0 close"}));
  reader.Append("TP/1.1\r\nConnection: close\r\n\r\n");
  ASSERT_EQ(reader.Next(), R::stRequest);
  EXPECT_FALSE(reader.TakeRequest().KeepAlive);
}

TEST(HTTPRequestReader, ChunkedBodiesAreJoined) {
  R reader;
  reader.Append("POST /u HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6;ext=1\r\n world\r\n");
  EXPECT_EQ(reader.Next(), R::stNeedMore);
  reader.Append("0\r\nTrailer: x\r\n\r\n");
  ASSERT_EQ(reader.Next(), R::stRequest);
  EXPECT_EQ(reader.TakeRequest().PostStream, "hello world");
}

TEST(HTTPRequestReader, ContinueIsAskedOnceBeforeTheBodyAndNotWhenItCameAlong) {
  R reader;
  reader.Append("PUT /x HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n");
  EXPECT_EQ(reader.Next(), R::stContinue);
  EXPECT_EQ(reader.Next(), R::stNeedMore);
  reader.Append("abc");
  ASSERT_EQ(reader.Next(), R::stRequest);
  EXPECT_EQ(reader.TakeRequest().PostStream, "abc");

  reader.Append("PUT /y HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\nabc");
  EXPECT_EQ(reader.Next(), R::stRequest);
  reader.TakeRequest();
  // An HTTP/1.0 client cannot read a 100 answer.
  reader.Append("PUT /z HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 1\r\n\r\n");
  EXPECT_EQ(reader.Next(), R::stNeedMore);
}

TEST(HTTPRequestReader, RefusalsCarryTheirStatus) {
  struct Case {
    TzorHTTPRequestLimits limits;
    std::string bytes;
    int status;
  };
  TzorHTTPRequestLimits small;
  small.MaxHeadSize = 100;
  small.MaxHeaderCount = 3;
  small.MaxBodySize = 10;
  const std::vector<Case> cases = {
      {{}, "\x01\x02 NOT HTTP\r\n\r\n", 400},
      {{}, "GET / HTTP/1.1\r\nBad Header\r\n\r\n", 400},
      {{}, "GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400},
      {{}, "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
      {{}, "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nZZ\r\n", 400},
      {small, "GET / HTTP/1.1\r\nX: " + std::string(200, 'a') + "\r\n\r\n", 431},
      {small, "GET / HTTP/1.1\r\nX: " + std::string(200, 'a'), 431},  // refused before the head ends
      {small, "GET / HTTP/1.1\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n\r\n", 431},
      {small, "POST / HTTP/1.1\r\nContent-Length: 11\r\n\r\n", 413},  // from the length alone
      {small, "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n6\r\nabcdef\r\n6\r\nabcdef\r\n", 413},
  };
  for (const Case& c : cases) {
    R reader(c.limits);
    reader.Append(c.bytes);
    EXPECT_EQ(reader.Next(), R::stFailed) << c.bytes;
    EXPECT_EQ(reader.FailureStatus(), c.status) << c.bytes;
    reader.Append("GET / HTTP/1.1\r\n\r\n");  // nothing after a refusal
    EXPECT_EQ(reader.Next(), R::stFailed);
  }
}

TEST(HTTPRequestReader, AbsoluteTargetsAndOtherAuthorizationSchemes) {
  R reader;
  reader.Append("GET http://example.com:8080/p+q/r?k=v+w HTTP/1.1\r\nAuthorization: Bearer abc.def\r\n\r\n");
  ASSERT_EQ(reader.Next(), R::stRequest);
  const auto r = reader.TakeRequest();
  EXPECT_EQ(r.Document, "/p+q/r");  // "+" is a blank in the query only
  EXPECT_EQ(r.Param("k"), "v w");
  EXPECT_FALSE(r.AuthExists);
  EXPECT_EQ(r.AuthScheme, "Bearer");
  EXPECT_EQ(r.AuthData, "abc.def");
}

TEST(HTTPRequestReader, FormBodiesAddToTheParameters) {
  R reader;
  reader.Append(
      "POST /f?a=1 HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 13\r\n\r\n"
      "b=%41%2&c=d+e");
  ASSERT_EQ(reader.Next(), R::stRequest);
  const auto r = reader.TakeRequest();
  EXPECT_EQ(r.Param("a"), "1");
  EXPECT_EQ(r.Param("b"), "A%2");  // a broken escape stays as sent
  EXPECT_EQ(r.Param("c"), "d e");
}

}  // namespace
}  // namespace zor
