#include "websocket/handshake.h"

#include "base/bytes.h"
#include "websocket/extensions.h"
#include "websocket/rfc8441_handshake.h"

#include <gtest/gtest.h>

#include <set>

namespace zor {
namespace {

using Lines = std::vector<std::string>;

TEST(HandshakeKeys, AcceptKeyOfTheRFCExample) {
  EXPECT_EQ(GetAcceptKey("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

TEST(HandshakeKeys, GeneratedKeysAreSixteenBytesWithoutFF) {
  std::set<std::string> keys;
  std::string all;
  for (int i = 0; i < 300; ++i) {
    const std::string key = GenerateHandshakeKey();
    ASSERT_EQ(key.size(), 24u);
    EXPECT_EQ(key.substr(22), "==");
    const std::string bytes = DecodeBase64(key);
    ASSERT_EQ(bytes.size(), 16u);
    all += bytes;
    keys.insert(key);
  }
  EXPECT_EQ(keys.size(), 300u);
  EXPECT_EQ(all.find('\xFF'), std::string::npos);  // 4800 draws
}

TEST(HandshakeKeys, Hixie76ChallengeAnswer) {
  // The example of the draft: two keys with digits and spaces, and 8 key bytes.
  const std::string answer = GetHixie76Answer("18x 6]8vM;54 *(5:  {   U1]8  z [  8", "1_ tx7X d  <  nw  334J702) 7]o}` 0",
                                              BytesToHexText(reinterpret_cast<const uint8_t*>("Tm[K T2u"), 8));
  EXPECT_EQ(answer, "fQJ,fN/4F4!~K~MH");
  try {
    GetHixie76Answer("123", "1 2", "0000000000000000");
    FAIL();
  } catch (const TzorWSException& e) {
    EXPECT_STREQ(e.what(), "Error decoding sec-webSocket-key.");
  }
}

TEST(HandshakeRequest, LinesInOrder) {
  TzorWSHandshakeRequest r;
  r.Host = "example.com";
  r.Port = 8080;
  r.Key = "dGhlIHNhbXBsZSBub25jZQ==";
  EXPECT_EQ(BuildHandshakeRequestLines(r),
            (Lines{"GET / HTTP/1.1", "Host: example.com:8080", "Upgrade: websocket", "Connection: Upgrade",
                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==", "Origin: example.com", "Sec-WebSocket-Version: 13"}));

  TzorWSExtensions extensions;
  extensions.SetMode(appClient);
  extensions.PerMessage_Deflate().SetEnabled(true);
  extensions.DeflateFrame().SetEnabled(true);
  r.Port = 443;
  r.Path = "chat?room=1";
  r.Origin = "https://app.example.com";
  r.Protocols = "chat,superchat";
  r.BasicAuthentication = true;
  r.User = "user";
  r.Password = "p\xC3\xA9";  // é goes out as the single byte E9
  r.TokenAuthentication = true;
  r.AuthName = "Bearer";
  r.AuthToken = "t0k";
  r.Extensions = &extensions;
  const Lines lines = BuildHandshakeRequestLines(r);
  EXPECT_EQ(lines, (Lines{"GET /chat?room=1 HTTP/1.1", "Host: example.com", "Upgrade: websocket",
                          "Connection: Upgrade", "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==",
                          "Origin: https://app.example.com", "Sec-WebSocket-Protocol: chat,superchat",
                          "Authorization: Basic " + EncodeBase64(std::string("user:p\xE9")), "Authorization: Bearer t0k",
                          "Sec-WebSocket-Extensions: permessage-deflate; client_max_window_bits",
                          "Sec-WebSocket-Extensions: x-webkit-deflate-frame", "Sec-WebSocket-Version: 13"}));
  EXPECT_EQ(HandshakeRequestText({"GET / HTTP/1.1", "Host: h"}), "GET / HTTP/1.1\r\nHost: h\r\n\r\n");
  r.Port = 80;
  EXPECT_EQ(BuildHandshakeRequestLines(r)[1], "Host: example.com");
}

TEST(HandshakeResponseReader, StopsAtTheEmptyLineWhateverTheSplit) {
  const std::string wire = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\nConnection: Upgrade\r\n\r\n\x81\x02hi";
  for (size_t step : {1u, 3u, 1000u}) {
    TzorWSHandshakeResponseReader reader;
    size_t consumed = 0;
    for (size_t at = 0; at < wire.size() && !reader.Complete(); at += step) {
      const size_t n = std::min(step, wire.size() - at);
      const size_t used = reader.Read(reinterpret_cast<const uint8_t*>(wire.data() + at), n);
      consumed += used;
      if (used < n) break;
    }
    EXPECT_TRUE(reader.Complete());
    EXPECT_EQ(wire.substr(consumed), "\x81\x02hi") << step;
    EXPECT_EQ(reader.Lines(), (Lines{"HTTP/1.1 101 Switching Protocols", "Upgrade: websocket", "Connection: Upgrade"}));
  }
  TzorWSHandshakeResponseReader bounded;
  bounded.SetMaxHeaderSize(64);
  const std::string endless(100, 'a');
  EXPECT_THROW(bounded.Read(reinterpret_cast<const uint8_t*>(endless.data()), endless.size()), TzorWSException);
}

const std::string kKey = "dGhlIHNhbXBsZSBub25jZQ==";
const std::string kAccept = "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";

TzorWSHandshakeOutcome Check(const Lines& lines, const std::string& protocols = "",
                             TzorWSExtensions* extensions = nullptr,
                             const std::function<void(const std::string&)>& onRedirect = nullptr) {
  const TzorWSHandShakeClient answer(lines);
  return CheckHandshakeResponse(answer, kKey, protocols, extensions, onRedirect);
}

std::string FailureOf(const std::function<void()>& f, std::string* className = nullptr) {
  try {
    f();
  } catch (const Exception& e) {
    if (className) *className = e.ClassName();
    return e.what();
  }
  return "no failure";
}

TEST(HandshakeResponse, SuccessWithSubprotocolAndExtensions) {
  TzorWSExtensions extensions;
  extensions.SetMode(appClient);
  extensions.PerMessage_Deflate().SetEnabled(true);
  const auto outcome =
      Check({"HTTP/1.1 101 Switching Protocols", "upgrade: WebSocket", "Connection: keep-alive, Upgrade", kAccept,
             "Sec-WebSocket-Protocol: superchat", "Sec-WebSocket-Extensions: permessage-deflate; client_max_window_bits=10"},
            "chat,superchat", &extensions);
  EXPECT_FALSE(outcome.Redirected);
  EXPECT_EQ(outcome.Protocol, "superchat");
  EXPECT_TRUE(extensions.ExtensionNegotiated());
  EXPECT_EQ(extensions.PerMessage_Deflate().ClientMaxWindowBits(), 10);
  // Missing Upgrade and Connection lines are not checked.
  EXPECT_EQ(Check({"HTTP/1.1 101 OK", kAccept}).Protocol, "");
}

TEST(HandshakeResponse, FailuresAndTheirMessages) {
  std::string className;
  EXPECT_EQ(FailureOf([] { Check({"HTTP/1.1 400 Bad Request", kAccept}); }, &className),
            "Error Decoding Header: Switching Protocols [HTTP/1.1 400 Bad Request]");
  EXPECT_EQ(className, "Exception");
  EXPECT_EQ(FailureOf([] { Check({"HTTP/1.1 101 OK", "Upgrade: h2c", kAccept}); }, &className),
            "Error Decoding Header: Upgrade");
  EXPECT_EQ(className, "TzorWSException");
  EXPECT_EQ(FailureOf([] { Check({"HTTP/1.1 101 OK", "Connection: close", kAccept}); }),
            "Error Decoding Header: Upgrade");
  EXPECT_EQ(FailureOf([] { Check({"HTTP/1.1 101 OK", "Sec-WebSocket-Accept:  s3pPLMBiTxaQ9kYGzzhZRbK+xOo="}); }),
            "Handshake Error: Invalid Accept Key");
  EXPECT_EQ(FailureOf([] { Check({"HTTP/1.1 101 OK"}); }), "Handshake Error: Invalid Accept Key");
  EXPECT_EQ(FailureOf([] { Check({"HTTP/1.1 101 OK", kAccept}, "chat,superchat"); }), "Protocol not supported .");
  EXPECT_EQ(FailureOf([] { Check({"HTTP/1.1 101 OK", kAccept, "Sec-WebSocket-Protocol: chat"}); }),
            "Protocol not supported chat.");
  EXPECT_EQ(FailureOf([] { Check({"HTTP/1.1 101 OK", kAccept, "Sec-WebSocket-Protocol: Chat"}, "chat"); }),
            "Protocol not supported Chat.");
}

TEST(HandshakeResponse, Redirects) {
  const Lines redirect = {"HTTP/1.1 302 Found", "Upgrade: nonsense", "Location: wss://other.example/ws", "x: y"};
  std::string className;
  EXPECT_EQ(FailureOf([&] { Check(redirect); }, &className), "Redirect to: wss://other.example/ws");
  EXPECT_EQ(className, "TzorWSException");
  std::string seen;
  const auto outcome = Check(redirect, "", nullptr, [&](const std::string& location) { seen = location; });
  EXPECT_TRUE(outcome.Redirected);
  EXPECT_EQ(seen, "wss://other.example/ws");
}

TEST(RFC8441, SettingsThenHeaders) {
  TzorWSHandshakeRequest r;
  r.Host = "h2.example";
  r.Port = 8443;
  r.Path = "ws";
  r.Protocols = "chat";
  r.TokenAuthentication = true;
  r.AuthName = "Bearer";
  r.AuthToken = "abc";
  TzorWSExtensions extensions;
  extensions.SetMode(appClient);
  extensions.PerMessage_Deflate().SetEnabled(true);
  r.Extensions = &extensions;
  TzorWSHTTP2Frame frame;

  frame.FrameKind = TzorWSHTTP2Frame::Kind::Settings;
  EXPECT_EQ(FailureOf([&] { ReadRFC8441Frame(frame, r); }),
            "Error reading Frame Settings: connect is not enabled.");
  frame.ConnectProtocolEnabled = true;
  const auto settings = ReadRFC8441Frame(frame, r);
  EXPECT_FALSE(settings.Enabled);
  EXPECT_EQ(settings.RequestLines,
            (Lines{":method = CONNECT", ":protocol = websocket", ":scheme = https", ":path = /ws",
                   ":authority = h2.example:8443", "origin = h2.example", "sec-websocket-protocol = chat",
                   "authorization = Bearer abc", "sec-websocket-extensions = permessage-deflate; client_max_window_bits",
                   "sec-websocket-version = 13"}));

  frame = {};
  frame.FrameKind = TzorWSHTTP2Frame::Kind::Headers;
  frame.Headers = {{":status", "404"}};
  EXPECT_EQ(FailureOf([&] { ReadRFC8441Frame(frame, r); }), "Error reading Frame Headers: status <> 200");
  frame.Headers = {{":status", "200"},
                   {"sec-websocket-protocol", "chat"},
                   {"sec-websocket-extensions", "permessage-deflate"},
                   {"sec-websocket-extensions", "x-other"}};
  const auto headers = ReadRFC8441Frame(frame, r);
  EXPECT_TRUE(headers.Enabled);
  EXPECT_EQ(headers.Protocol, "chat");
  EXPECT_EQ(headers.Extensions, "permessage-deflate, x-other");

  frame.FrameKind = TzorWSHTTP2Frame::Kind::Other;
  EXPECT_EQ(FailureOf([&] { ReadRFC8441Frame(frame, r); }), "Invalid Frame Type.");
}

}  // namespace
}  // namespace zor
