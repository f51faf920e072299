// The server component over real loopback sockets: built-in files, session
// logins, upgrades of both drafts with their checks, echo through the
// connection's read loop, refusals reported and closed, plain HTTP.
#include "server/ws_http_server.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>

#include "base/exceptions.h"
#include "net/connection.h"
#include "websocket/frame_writer.h"
#include "websocket/handshake.h"

namespace zor {
namespace {

struct ServerFixture : ::testing::Test {
  ServerFixture() {
    server.SetPort(0);
    server.SetAddress("127.0.0.1");
    server.SetThreadPoolSize(2);
    server.SetNotifyEvents(neNoSync);
    server.OnMessage = [](TzorWSConnection* c, const std::string& text) { c->WriteData("echo:" + text); };
    server.OnError = [this](TzorWSConnection*, const std::string& error) {
      std::lock_guard guard(lock);
      errors.push_back(error);
    };
  }
  ~ServerFixture() override { server.SetActive(false); }

  std::unique_ptr<TzorConnection> Connect() {
    if (!server.Active()) server.SetActive(true);
    auto c = std::make_unique<TzorConnection>();
    c->Options().Host = "127.0.0.1";
    c->Options().Port = server.ListeningPort();
    c->Options().ConnectTimeout = c->Options().ReadTimeout = c->Options().WriteTimeout = 20000;
    c->Connect();
    return c;
  }
  static std::string ReadToEnd(TzorConnection& c) {
    std::string all;
    try {
      while (c.ReadSome(all, 1 << 16) > 0) {
      }
    } catch (const Exception&) {
    }
    return all;
  }
  static std::string Head(TzorConnection& c) {
    std::string head;
    while (head.find("\r\n\r\n") == std::string::npos) head += c.ReadBytes(1);
    return head;
  }
  static std::string Upgrade(const std::string& path, std::vector<std::string> extra = {}) {
    std::string text = "GET " + path +
                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                       "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n";
    for (const auto& line : extra) text += line + "\r\n";
    return text + "\r\n";
  }
  // One masked text frame as a client sends it.
  static std::string ClientText(const std::string& text) {
    const uint8_t key[4] = {1, 2, 3, 4};
    uint8_t header[14];
    std::string frame(reinterpret_cast<char*>(header),
                      EncodeFrameHeader(header, GetFrameFirstByte(opText, false), text.size(), key));
    for (size_t i = 0; i < text.size(); ++i) frame += static_cast<char>(text[i] ^ key[i % 4]);
    return frame;
  }
  static std::string ServerText(const std::string& text) {
    uint8_t header[14];
    return std::string(reinterpret_cast<char*>(header),
                       EncodeFrameHeader(header, GetFrameFirstByte(opText, false), text.size(), nullptr)) +
           text;
  }
  std::vector<std::string> Errors() {
    std::lock_guard guard(lock);
    return errors;
  }
  template <class F>
  static bool Eventually(F condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
  }

  TzorWSHTTPServer server;
  std::mutex lock;
  std::vector<std::string> errors;
};

TEST_F(ServerFixture, UpgradeAnswersAndEchoesFramesThatCameWithTheRequest) {
  auto c = Connect();
  // The first frame travels in the same write as the request.
  c->Write(Upgrade("/chat") + ClientText("hello"));
  EXPECT_EQ(Head(*c),
            "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\nServer: zorWebSockets 2023.6.0\r\n\r\n");
  const std::string expected = ServerText("echo:hello");
  EXPECT_EQ(c->ReadBytes(expected.size()), expected);
  c->Write(ClientText("again"));
  const std::string again = ServerText("echo:again");
  EXPECT_EQ(c->ReadBytes(again.size()), again);
}

TEST_F(ServerFixture, RefusedUpgradesAreReportedAndClosed) {
  auto c = Connect();
  c->Write(Upgrade("/chat", {"Sec-WebSocket-Protocol: a, b"}));
  EXPECT_EQ(ReadToEnd(*c), "");
  auto d = Connect();
  d->Write("GET / HTTP/1.0\r\nUpgrade: websocket\r\nSec-WebSocket-Key: x\r\n\r\n");
  EXPECT_EQ(ReadToEnd(*d), "");
  // Options change while the server is stopped: its workers read them.
  server.SetActive(false);
  server.SecurityOptions().OriginsAllowed = "https://good.test";
  auto e = Connect();
  e->Write(Upgrade("/", {"Origin: https://evil.test"}));
  EXPECT_EQ(ReadToEnd(*e), "");
  EXPECT_TRUE(Eventually([&] { return Errors().size() == 3; }));
  EXPECT_EQ(Errors(), (std::vector<std::string>{"Error Protocol: a\r\n b\r\n not supported.",
                                               "Error Decoding Header: GET", "Origin https://evil.test not allowed"}));
}

TEST_F(ServerFixture, SessionLoginServesOneUpgrade) {
  server.Authentication().Enabled = true;
  server.Authentication().AuthUsers = {"alice=secret"};
  auto s = Connect();
  s->Write("GET /zor/req/auth/session/alice/secret HTTP/1.1\r\nHost: x\r\n\r\n");
  const std::string answer = ReadToEnd(*s);
  ASSERT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\nCache-Control: no-cache\r\nContent-Type: text/plain\r\n"))
      << answer;
  const std::string body = answer.substr(answer.find("\r\n\r\n") + 4);
  const std::string id = body.substr(0, body.find("\r\n"));
  ASSERT_EQ(id.size(), 32u);

  auto first = Connect();
  first->Write(Upgrade("/zor/auth/session/" + id));
  EXPECT_TRUE(Head(*first).starts_with("HTTP/1.1 101 Switching Protocols\r\n"));
  auto second = Connect();
  second->Write(Upgrade("/zor/auth/session/" + id));
  EXPECT_EQ(ReadToEnd(*second), "");
  EXPECT_TRUE(Eventually([&] { return Errors() == std::vector<std::string>{"Authentication Denied"}; }));

  auto wrong = Connect();
  wrong->Write("GET /zor/req/auth/session/alice/wrong HTTP/1.1\r\n\r\n");
  EXPECT_EQ(ReadToEnd(*wrong), "HTTP/1.1 404 Not Found\r\n\r\n");
}

TEST_F(ServerFixture, CloseCodeOfTheAuthenticationHandlerFollowsTheAnswer) {
  server.Authentication().Enabled = true;
  server.OnAuthentication = [](TzorWSConnection* c, const std::string&, const std::string&, bool&) {
    static_cast<TzorWSConnectionServer*>(c)->SetAuthenticationCloseCode(4001);
  };
  auto c = Connect();
  c->Write(Upgrade("/"));
  EXPECT_TRUE(Head(*c).starts_with("HTTP/1.1 101"));
  EXPECT_EQ(c->ReadBytes(4), std::string("\x88\x02\x0f\xa1", 4));  // close frame, code 4001
}

TEST_F(ServerFixture, BuiltInScriptAndPage) {
  server.FallBack().ServerSentEvents.Enabled = true;
  server.Options().HTMLFiles = true;
  auto c = Connect();
  c->Write("GET /zorWebSockets.js HTTP/1.1\r\nHost: x\r\n\r\n");
  const std::string script = ReadToEnd(*c);
  EXPECT_TRUE(script.starts_with("HTTP/1.1 200 OK\r\nCache-Control: no-cache\r\n"
                                 "Content-Type: text/javascript; charset=utf-8\r\nServer: zorWebSockets 2023.6.0\r\n\r\n"));
  EXPECT_LT(script.find("zorEventSource = zorEventSource"), script.find("zorWebSocket = zorWebSocket"));

  auto p = Connect();
  p->Write("GET /zorWebSockets.html HTTP/1.1\r\n\r\n");
  const std::string page = ReadToEnd(*p);
  EXPECT_NE(page.find("ws://127.0.0.1:" + std::to_string(server.ListeningPort()) + "/"), std::string::npos);
}

TEST_F(ServerFixture, PlainHTTPGoesToTheApplication) {
  auto c = Connect();
  c->Write("GET /nothing HTTP/1.1\r\n\r\n");
  EXPECT_EQ(ReadToEnd(*c), "HTTP/1.1 404 Not Found\r\n\r\n");
  server.OnHTTPRequest = [](TzorWSConnectionServer* conn, const std::vector<std::string>& lines,
                            const std::string& body) { conn->SendResponseHTTP(lines[0] + "|" + body, "text/plain"); };
  auto d = Connect();
  d->Write("POST /x HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi");
  const std::string answer = ReadToEnd(*d);
  EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), "POST /x HTTP/1.1|hi");
}

TEST_F(ServerFixture, RejectedSocketsAreReported) {
  server.OnTCPConnect = [](TzorWSConnection*, bool& accept) { accept = false; };
  auto c = Connect();
  EXPECT_EQ(ReadToEnd(*c), "");
  EXPECT_TRUE(Eventually([&] { return Errors() == std::vector<std::string>{"Connection rejected by server."}; }));
}

}  // namespace
}  // namespace zor
