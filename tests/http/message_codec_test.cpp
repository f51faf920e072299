// Request heads, response reading and body decoding without sockets.
#include <gtest/gtest.h>

#include "http/charset.h"
#include "http/http_exceptions.h"
#include "http/request_writer.h"
#include "http/response_reader.h"

namespace zor {
namespace {

TEST(RequestWriter, OwnLinesInFixedOrderThenCallerLines) {
  TzorHeaderLines extra{"Api-Key: k", "x-b: 2", "accept: application/json"};
  TzorHTTPRequestHead head;
  head.method = "POST";
  head.target = "/v1/x?y=1";
  head.host = "h.example:8443";
  head.http11 = false;
  head.content_length = 5;
  head.content_type = "text/plain";
  head.accept = "*/*";
  head.cache_control = "no-store";
  head.user_agent = "UA";
  head.cookie = "a=1";
  head.extra_lines = &extra;
  EXPECT_EQ(WriteRequestHead(head),
            "POST /v1/x?y=1 HTTP/1.0\r\n"
            "Host: h.example:8443\r\n"
            "Content-Type: text/plain\r\n"
            "Content-Length: 5\r\n"
            "Cache-Control: no-store\r\n"
            "User-Agent: UA\r\n"
            "Cookie: a=1\r\n"
            "Api-Key: k\r\n"
            "x-b: 2\r\n"
            "accept: application/json\r\n"
            "\r\n");
}

TEST(RequestWriter, CallerCannotReframeOrInjectLines) {
  TzorHeaderLines extra{"Content-Length: 99", "transfer-encoding: chunked", "X: y"};
  TzorHTTPRequestHead head;
  head.method = "GET";
  head.target = "/";
  head.host = "h";
  head.extra_lines = &extra;
  EXPECT_EQ(WriteRequestHead(head), "GET / HTTP/1.1\r\nHost: h\r\nX: y\r\n\r\n");

  TzorHeaderLines injected;
  injected.Add("Authorization: Bearer secret\r\nX-Evil: 1");
  head.extra_lines = &injected;
  try {
    WriteRequestHead(head);
    ADD_FAILURE() << "an injected line was written";
  } catch (const EzorHTTPClientError& e) {
    EXPECT_STREQ(e.what(), "Header line Authorization holds CR, LF or NUL");  // the secret stays out
  }
  TzorHeaderLines no_colon{"not a header"};
  head.extra_lines = &no_colon;
  EXPECT_THROW(WriteRequestHead(head), EzorHTTPClientError);
  head.extra_lines = nullptr;
  head.user_agent = "a\nb";
  EXPECT_THROW(WriteRequestHead(head), EzorHTTPClientError);
  head.user_agent.clear();
  head.target = "/a b";
  EXPECT_THROW(WriteRequestHead(head), EzorHTTPClientError);
}

TEST(HeaderLines, TextSplitsOnEveryLineEnding) {
  TzorHeaderLines lines;
  lines.SetText("A: 1\r\nB: 2\nC: 3\rD: 4");
  ASSERT_EQ(lines.Count(), 4u);
  EXPECT_EQ(lines[3], "D: 4");
  EXPECT_EQ(lines.Text(), "A: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n");
  std::string value;
  EXPECT_TRUE(lines.Find("c", value));
  EXPECT_EQ(value, "3");
  lines.SetText("");
  EXPECT_EQ(lines.Count(), 0u);
}

// Feeds the response in pieces of the given size and collects the body.
struct Received {
  std::string body;
  TzorHTTPResponseHead head;
  bool until_close = false;
};
Received Read(const std::string& wire, size_t piece, bool eof = false, TzorHTTPResponseLimits limits = {}) {
  Received r;
  TzorHTTPResponseReader reader(limits, [&](std::string_view p) { r.body.append(p); });
  for (size_t i = 0; i < wire.size() && !reader.Done(); i += piece)
    reader.Put(std::string_view(wire).substr(i, piece));
  if (eof) reader.PutEOF();
  EXPECT_TRUE(reader.Done());
  r.head = reader.Head();
  r.until_close = reader.BodyUntilClose();
  return r;
}

TEST(ResponseReader, BodiesByLengthChunkedAndUntilCloseInAnySplit) {
  const std::string by_length = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: 1\r\n\r\nhello";
  const std::string chunked =
      "HTTP/1.1 201 Created\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nhel\r\n2;ext=1\r\nlo\r\n0\r\nTrailer: t\r\n\r\n";
  const std::string until_close = "HTTP/1.0 200 OK\r\n\r\nhello";
  for (size_t piece : {1u, 3u, 1000u}) {
    Received a = Read(by_length, piece);
    EXPECT_EQ(a.body, "hello");
    EXPECT_EQ(a.head.status_line, "HTTP/1.1 200 OK");
    EXPECT_EQ(a.head.Field("x-a"), "1");
    EXPECT_TRUE(a.head.keep_alive);
    Received b = Read(chunked, piece);
    EXPECT_EQ(b.body, "hello");
    EXPECT_EQ(b.head.status, 201);
    Received c = Read(until_close, piece, true);
    EXPECT_EQ(c.body, "hello");
    EXPECT_TRUE(c.until_close);
    EXPECT_FALSE(c.head.keep_alive);
  }
}

TEST(ResponseReader, InterimResponsesAreSkipped) {
  Received r = Read("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\n{}", 4);
  EXPECT_EQ(r.head.status_line, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(r.body, "{}");
}

TEST(ResponseReader, BoundsAndBrokenResponsesFail) {
  TzorHTTPResponseLimits small;
  small.max_header_bytes = 64;
  small.max_body_bytes = 4;
  auto fails = [&](const std::string& wire, bool eof, const char* message_part) {
    TzorHTTPResponseReader reader(small, nullptr);
    try {
      reader.Put(wire);
      if (eof) reader.PutEOF();
      ADD_FAILURE() << "accepted: " << wire;
    } catch (const EzorHTTPClientError& e) {
      EXPECT_NE(std::string(e.what()).find(message_part), std::string::npos) << e.what();
    }
  };
  fails("HTTP/1.1 200 OK\r\nX-Long: " + std::string(100, 'a') + "\r\n\r\n", false, "header block exceeds 64");
  fails("HTTP/1.1 200 OK\r\nContent-Length: 5000000000\r\n\r\n", false, "body exceeds 4");
  fails("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n3\r\ndef\r\n", false, "body exceeds 4");
  fails("HTTP/1.1 200 OK\r\n\r\n12345", false, "body exceeds 4");
  fails("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab", true, "closed before the response was complete");
  fails("HTTP/1.1 200 OK\r\nContent-Le", true, "closed before the response was complete");
  fails("SMTP/1.0 200 OK\r\n\r\n", false, "Malformed");
  fails("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n", false, "Malformed");
}

TEST(Charset, DeclaredCharsetDecidesTheText) {
  EXPECT_EQ(CharsetOfContentType("application/json; charset=\"UTF-8\""), "UTF-8");
  EXPECT_EQ(CharsetOfContentType("text/html;q=1; Charset=iso-8859-1"), "iso-8859-1");
  EXPECT_EQ(CharsetOfContentType("application/json"), "");
  EXPECT_EQ(DecodeBodyText("\xE9t\xE9", "ISO-8859-1"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(DecodeBodyText("\xE9t\xE9", "us-ascii"), "?t?");
  EXPECT_EQ(DecodeBodyText("h\xC3\xA9", ""), "h\xC3\xA9");
  EXPECT_EQ(DecodeBodyText("a\xFF" "b", "utf-8"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(DecodeBodyText(std::string("\xFF\xFEh\0\xE9\0", 6), "utf-16"), "h\xC3\xA9");
  EXPECT_EQ(DecodeBodyText(std::string("\0h\0\xE9", 4), "UTF-16BE"), "h\xC3\xA9");
}

TEST(Charset, CompleteUTF8PrefixStopsBeforeASplitSequence) {
  EXPECT_EQ(CompleteUTF8Prefix("ab"), 2u);
  EXPECT_EQ(CompleteUTF8Prefix("a\xC3"), 1u);
  EXPECT_EQ(CompleteUTF8Prefix("a\xC3\xA9"), 3u);
  EXPECT_EQ(CompleteUTF8Prefix("a\xF0\x9F\x98"), 1u);
  EXPECT_EQ(CompleteUTF8Prefix("a\xF0\x9F\x98\x80"), 5u);
  EXPECT_EQ(CompleteUTF8Prefix("\x80\x80\x80\x80"), 4u);  // no lead byte: nothing to wait for
}

}  // namespace
}  // namespace zor
