// Classification of a socket's first bytes: the order of the rules, waiting
// for a complete head within bounds, and where the head ends.
#include "server/request_classifier.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

TzorRequestClassifierOptions Options() {
  TzorRequestClassifierOptions o;
  o.MaxReadBufferSize = 4096;
  return o;
}

const std::string kUpgrade =
    "GET /chat HTTP/1.1\r\nHost: h\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";

TEST(RequestClassifier, UpgradeKeepsTheFramesThatFollowItsHead) {
  const std::string bytes = kUpgrade + "\x81\x85" "frame";
  const auto c = ClassifyRequest(bytes, Options(), fwWaiting);
  EXPECT_EQ(c.Kind, rkWebSocket);
  EXPECT_EQ(c.HeadSize, kUpgrade.size());
  EXPECT_EQ(bytes.substr(c.HeadSize), "\x81\x85" "frame");
  ASSERT_EQ(c.Lines.size(), 5u);
  EXPECT_EQ(c.Lines[0], "GET /chat HTTP/1.1");
}

TEST(RequestClassifier, IncompleteHeadsWaitWithinTheirBounds) {
  const std::string part = kUpgrade.substr(0, 40);
  EXPECT_EQ(ClassifyRequest(part, Options(), fwWaiting).Kind, rkNeedMore);
  EXPECT_EQ(ClassifyRequest(part, Options(), fwQuiet).Kind, rkNeedMore);
  // Waiting is over and the HTTP head is still open: no guess is made.
  EXPECT_EQ(ClassifyRequest(part, Options(), fwOver).Kind, rkHeadIncomplete);
  // Slow-loris heads stop at the byte bound, with or without a line end.
  auto o = Options();
  o.MaxReadBufferSize = 64;
  EXPECT_EQ(ClassifyRequest("GET / HTTP/1.1\r\nX: " + std::string(100, 'a'), o, fwWaiting).Kind, rkHeadTooLarge);
  EXPECT_EQ(ClassifyRequest("GET /" + std::string(100, 'a'), o, fwWaiting).Kind, rkHeadTooLarge);
  // A complete head beyond the bound is refused as well.
  EXPECT_EQ(ClassifyRequest("GET / HTTP/1.1\r\nX: " + std::string(100, 'a') + "\r\n\r\n", o, fwWaiting).Kind,
            rkHeadTooLarge);
}

TEST(RequestClassifier, Hixie76WaitsForItsEightKeyBytes) {
  const std::string head =
      "GET /demo HTTP/1.1\r\nHost: example.com\r\nConnection: Upgrade\r\nSec-WebSocket-Key2: 12998 5 Y3 1  .P00\r\n"
      "Upgrade: WebSocket\r\nSec-WebSocket-Key1: 4 @1  46546xW%0l 1 5\r\nOrigin: http://example.com\r\n\r\n";
  EXPECT_EQ(ClassifyRequest(head + "^n:d", Options(), fwWaiting).Kind, rkNeedMore);
  EXPECT_EQ(ClassifyRequest(head + "^n:d", Options(), fwOver).Kind, rkHeadIncomplete);
  const auto c = ClassifyRequest(head + "^n:ds[4U", Options(), fwWaiting);
  EXPECT_EQ(c.Kind, rkWebSocket);
  EXPECT_EQ(c.HeadSize, head.size());
}

TEST(RequestClassifier, RulesApplyInTheirOrder) {
  auto o = Options();
  o.AuthenticationEnabled = true;
  o.ServesResource = [](const std::string& line) { return line.find("zorWebSockets.js") != std::string::npos; };
  EXPECT_EQ(ClassifyRequest("GET /zor/req/auth/session/alice/pw HTTP/1.1\r\n\r\n", o, fwWaiting).Kind, rkSessionRequest);
  EXPECT_EQ(ClassifyRequest("POST /zor/xhr/ABC HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi", o, fwWaiting).Kind, rkXHRPost);
  EXPECT_EQ(ClassifyRequest("POST /zor/protocol/chat/x HTTP/1.1\r\n\r\n", o, fwWaiting).Kind, rkProtocolPost);
  EXPECT_EQ(ClassifyRequest("GET /zorWebSockets.js HTTP/1.1\r\n\r\n", o, fwWaiting).Kind, rkBuiltInResource);
  EXPECT_EQ(ClassifyRequest("GET /events HTTP/1.1\r\nAccept: text/event-stream\r\n\r\n", o, fwWaiting).Kind,
            rkServerSentEvents);
  EXPECT_EQ(ClassifyRequest("GET /index.html HTTP/1.1\r\n\r\n", o, fwWaiting).Kind, rkHTTP);
  EXPECT_EQ(ClassifyRequest("<policy-file-request/>", o, fwWaiting).Kind, rkFlashPolicy);
  // An upgrade wins over a session path; sessions need authentication enabled.
  EXPECT_EQ(ClassifyRequest("GET /zor/req/auth/session/a/b HTTP/1.1\r\nUpgrade: websocket\r\n\r\n", o, fwWaiting).Kind,
            rkWebSocket);
  o.AuthenticationEnabled = false;
  EXPECT_EQ(ClassifyRequest("GET /zor/req/auth/session/alice/pw HTTP/1.1\r\n\r\n", o, fwWaiting).Kind, rkHTTP);
  // HTTP/1.0 upgrades are still upgrades here: the handshake refuses them.
  EXPECT_EQ(ClassifyRequest("GET / HTTP/1.0\r\nUpgrade: websocket\r\n\r\n", o, fwWaiting).Kind, rkWebSocket);
}

TEST(RequestClassifier, ThePrefaceIsHTTP2OnlyWhenEnabled) {
  auto o = Options();
  const std::string preface(kHTTP2Preface);
  o.HTTP2Enabled = true;
  EXPECT_EQ(ClassifyRequest(preface.substr(0, 20), o, fwWaiting).Kind, rkNeedMore);
  EXPECT_EQ(ClassifyRequest(preface.substr(0, 20), o, fwQuiet).Kind, rkUnknown);
  const auto c = ClassifyRequest(preface + std::string("\x00\x00\x00\x04", 4), o, fwWaiting);
  EXPECT_EQ(c.Kind, rkHTTP2);
  EXPECT_EQ(c.HeadSize, 24u);
  o.HTTP2Enabled = false;
  const auto refused = ClassifyRequest(preface, o, fwWaiting);
  EXPECT_EQ(refused.Kind, rkUnknown);
  EXPECT_EQ(refused.HeadSize, 0u);
}

TEST(RequestClassifier, OtherProtocolsKeepAllTheirBytes) {
  auto c = ClassifyRequest("hello server\r\nmore", Options(), fwWaiting);
  EXPECT_EQ(c.Kind, rkUnknown);
  EXPECT_EQ(c.HeadSize, 0u);
  // Without a line end they are decided once the peer has gone quiet.
  EXPECT_EQ(ClassifyRequest("\x01\x02\x03", Options(), fwWaiting).Kind, rkNeedMore);
  EXPECT_EQ(ClassifyRequest("\x01\x02\x03", Options(), fwQuiet).Kind, rkUnknown);
  // What may still become a request line waits for the head deadline.
  EXPECT_EQ(ClassifyRequest("GET /chat HT", Options(), fwQuiet).Kind, rkNeedMore);
  EXPECT_EQ(ClassifyRequest("GET /chat HT", Options(), fwOver).Kind, rkHeadIncomplete);
  // A blank line first is no request either.
  EXPECT_EQ(ClassifyRequest("\r\n\r\nGET / HTTP/1.1\r\n\r\n", Options(), fwWaiting).Kind, rkUnknown);
}

TEST(RequestClassifier, HeadHelpers) {
  EXPECT_EQ(FindHeadEnd("a\r\nb\r\n\r\nbody"), 8u);
  EXPECT_EQ(FindHeadEnd("a\nb\n\nbody"), 5u);
  EXPECT_EQ(FindHeadEnd("a\r\nb\r\n"), std::string_view::npos);
  EXPECT_EQ(SplitHeadLines("a\r\nb\nc\r\n\r\n"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(RequestPath("GET /a/b HTTP/1.1"), "/a/b");
  EXPECT_EQ(RequestPath("POST  /x  HTTP/1.1"), "/x");
  EXPECT_EQ(RequestPath("GET /no-version"), "/no-version");
  EXPECT_EQ(RequestPath("PUT /a HTTP/1.1"), "");
  EXPECT_EQ(SplitText("/a//b", '/'), (std::vector<std::string>{"", "a", "", "b"}));
  EXPECT_EQ(HeaderValue({"GET / HTTP/1.1", "content-length:  12 "}, "Content-Length"), "12");
  EXPECT_EQ(HeaderValue({"GET / HTTP/1.1"}, "Content-Length"), "");
}

}  // namespace
}  // namespace zor
