// The server's side of the opening handshake: checks with their messages,
// subprotocol choice, origins and the exact answers of both drafts.
#include "server/handshake_server.h"

#include <gtest/gtest.h>

#include "server/http_answers.h"
#include "websocket/extensions.h"

namespace zor {
namespace {

std::vector<std::string> Request(std::vector<std::string> extra = {}, std::string first = "GET /chat HTTP/1.1") {
  std::vector<std::string> lines{first, "Host: server.example.com", "Upgrade: websocket", "Connection: Upgrade",
                                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==", "Sec-WebSocket-Version: 13"};
  lines.insert(lines.end(), extra.begin(), extra.end());
  return lines;
}

std::string MessageOf(const std::vector<std::string>& lines, std::string_view after = {}) {
  try {
    TzorWSHandShakeServer h(lines, after);
    return "accepted";
  } catch (const TzorWSException& e) {
    return e.what();
  }
}

TEST(HandshakeServer, RFC6455AnswerIsExact) {
  const TzorWSHandShakeServer h(Request({"Origin: http://example.com", "Sec-WebSocket-Protocol: chat"}), {});
  EXPECT_EQ(h.Get(), "/chat");
  EXPECT_EQ(h.Host(), "server.example.com");
  EXPECT_EQ(h.Origin(), "http://example.com");
  EXPECT_EQ(h.Specification(), spRFC6455);
  const auto lines = BuildHandshakeAnswerLines(h, SelectProtocol(h.Protocols(), "chat"), {});
  EXPECT_EQ(HandshakeAnswerText(lines, h),
            "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Protocol: chat\r\nSec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"
            "Server: zorWebSockets 2023.6.0\r\n\r\n");
}

TEST(HandshakeServer, Hixie76AnswerCarriesTheChallenge) {
  // The example exchange of the draft: the answer ends in "8jKS'y:G*Co,Wxa-".
  const std::vector<std::string> lines{"GET /demo HTTP/1.1", "Host: example.com", "Connection: Upgrade",
                                       "Sec-WebSocket-Key2: 12998 5 Y3 1  .P00", "Upgrade: WebSocket",
                                       "Sec-WebSocket-Key1: 4 @1  46546xW%0l 1 5", "Origin: http://example.com"};
  const TzorWSHandShakeServer h(lines, "^n:ds[4Uframes");
  EXPECT_EQ(h.Specification(), spHixie76);
  EXPECT_EQ(h.Key3Size(), 8u);
  EXPECT_EQ(HandshakeAnswerText(BuildHandshakeAnswerLines(h, "", {}), h),
            "HTTP/1.1 101 WebSocket Protocol Handshake\r\nUpgrade: WebSocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Origin: http://example.com\r\nSec-WebSocket-Location: ws://example.com/demo\r\n"
            "Sec-WebSocket-Protocol: *\r\nServer: zorWebSockets 2023.6.0\r\n\r\n8jKS'y:G*Co,Wxa-");
  // Without the eight bytes no right answer exists.
  EXPECT_EQ(MessageOf(lines, "^n:d"), "Error Decoding Header: WebSocket-Key");
}

TEST(HandshakeServer, BadRequestsFailWithTheirMessages) {
  EXPECT_EQ(MessageOf(Request({}, "GET /chat HTTP/1.0")), "Error Decoding Header: GET");
  EXPECT_EQ(MessageOf({"GET / HTTP/1.1", "Upgrade: websocket, h2c", "Sec-WebSocket-Key: k"}),
            "Error Decoding Header: WebSocket");
  EXPECT_EQ(MessageOf({"GET / HTTP/1.1", "Connection: keep-alive", "Sec-WebSocket-Key: k"}),
            "Error Decoding Header: Upgrade");
  EXPECT_EQ(MessageOf({"GET / HTTP/1.1", "Upgrade: websocket"}), "Error Decoding Header: WebSocket-Key");
  // Lines shorter than a prefix, missing host, origin and version are no error.
  EXPECT_EQ(MessageOf({"GET /", "Sec-WebSocket-Key: k", "Host", "Upgr"}), "accepted");
}

TEST(HandshakeServer, SubprotocolIsTheClientsFirstServedOffer) {
  EXPECT_EQ(SelectProtocol("a,b", "b"), "b");
  EXPECT_EQ(SelectProtocol("x,CHAT,b", "b,chat"), "CHAT");
  EXPECT_EQ(SelectProtocol("", "b"), "");
  try {
    SelectProtocol("a, b", "b");
    FAIL() << "the offer \" b\" keeps its blank";
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Error Protocol: a\r\n b\r\n not supported.");
  }
  EXPECT_THROW(SelectProtocol("a", ""), TzorWSException);
}

TEST(HandshakeServer, OriginsAreCheckedOnlyWhenBothAreSet) {
  EXPECT_NO_THROW(CheckOrigin("", "http://evil.example"));
  EXPECT_NO_THROW(CheckOrigin("http://*.example.com", ""));
  EXPECT_NO_THROW(CheckOrigin("http://a.test,http://*.example.com", "http://www.EXAMPLE.com"));
  try {
    CheckOrigin("http://a.test,,", "http://evil.example");
    FAIL() << "empty masks match nothing";
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Origin http://evil.example not allowed");
  }
}

TEST(HandshakeServer, NegotiatedDeflateIsAnswered) {
  const TzorWSHandShakeServer h(Request({"Sec-WebSocket-Extensions: permessage-deflate; client_max_window_bits"}), {});
  TzorWSExtensions extensions;
  extensions.SetMode(appServer);
  extensions.PerMessage_Deflate().SetEnabled(true);
  extensions.DecodeExtensions(h.Extensions());
  std::vector<std::string> extensionLines;
  extensions.WriteHeader(extensionLines);
  ASSERT_EQ(extensionLines.size(), 1u);
  EXPECT_TRUE(extensionLines[0].starts_with("Sec-WebSocket-Extensions: permessage-deflate"));
  const auto lines = BuildHandshakeAnswerLines(h, "", extensionLines);
  EXPECT_EQ(lines.back(), extensionLines[0]);
  EXPECT_EQ(lines[lines.size() - 2], "Server: zorWebSockets 2023.6.0");
}

TEST(HTTPAnswers, HeadsAreExact) {
  EXPECT_EQ(HTTPResponseStreamHead("text/html", "Alt-Svc: h2=\":443\"", {"X-A: 1"}),
            "HTTP/1.1 200 OK\r\nCache-Control: no-cache\r\nContent-Type: text/html\r\nAlt-Svc: h2=\":443\"\r\n"
            "X-A: 1\r\nServer: zorWebSockets 2023.6.0\r\n\r\n");
  EXPECT_EQ(HTTPStatusHead(404, "Not Found", {}), "HTTP/1.1 404 Not Found\r\n\r\n");
  EXPECT_EQ(HTTPRedirectHead("https://a.test/", {"X-B: 2"}),
            "HTTP/1.1 302 Moved Temporarily\r\nConnection: close\r\nLocation: https://a.test/\r\nX-B: 2\r\n"
            "Server: zorWebSockets 2023.6.0\r\n\r\n");
  // A value with a line end would smuggle lines of its own into the answer.
  EXPECT_THROW(HTTPRedirectHead("https://a.test/\r\nSet-Cookie: x=1", {}), TzorWSException);
  EXPECT_THROW(HTTPStatusHead(401, "Unauthorized", {"X: a\nY: b"}), TzorWSException);
}

}  // namespace
}  // namespace zor
