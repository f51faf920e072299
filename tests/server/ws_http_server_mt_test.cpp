// The server component over real loopback sockets: built-in files, session
// logins, upgrades of both drafts with their checks, echo through the
// connection's read loop, refusals reported and closed, plain HTTP.
#include "server/ws_http_server.h"

#include <gtest/gtest.h>

#include "tests/server/eventually.h"

#include <algorithm>
#include <future>
#include <mutex>
#include <thread>

#include "base/exceptions.h"
#include "net/connection.h"
#include "tests/server/loopback_client.h"
#include "websocket/frame_writer.h"
#include "websocket/handshake.h"

namespace zor {
namespace {

using test::Eventually;

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

  std::unique_ptr<TzorConnection> Connect() { return ConnectToServer(server); }
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
  c->Write("GET /nothing HTTP/1.1\r\nConnection: close\r\n\r\n");
  EXPECT_TRUE(ReadToEnd(*c).starts_with("HTTP/1.1 404 Not Found\r\n"));
  server.OnCommandGet = [](TzorWSConnectionServer*, TzorHTTPServerRequest& request, TzorHTTPServerResponse& response) {
    response.ContentText = request.Command + " " + request.Document + "|" + request.PostStream;
  };
  auto d = Connect();
  d->Write("POST /x HTTP/1.1\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi");
  const std::string answer = ReadToEnd(*d);
  EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), "POST /x|hi");
}

TEST_F(ServerFixture, EventStreamTakesMessagesPostedForItsGuid) {
  auto sse = Connect();
  sse->Write("GET /events HTTP/1.1\r\nAccept: text/event-stream\r\n\r\n");
  EXPECT_EQ(ReadToEnd(*sse), "");  // the fallback is off
  server.SetActive(false);  // options change while the workers are stopped
  server.FallBack().ServerSentEvents.Enabled = true;
  sse = Connect();
  sse->Write("GET /events HTTP/1.1\r\nAccept: text/event-stream\r\n\r\n");
  EXPECT_EQ(Head(*sse),
            "HTTP/1.1 200 OK\r\nCache-Control: no-cache\r\nContent-Type: text/event-stream\r\n"
            "Server: zorWebSockets 2023.6.0\r\n\r\n");
  std::string events;
  while (std::count(events.begin(), events.end(), '\n') < 6) events += sse->ReadBytes(1);
  ASSERT_TRUE(events.starts_with("retry: 3000000\n\nid: ")) << events;
  const std::string guid = events.substr(events.find("id: ") + 4, 32);
  EXPECT_EQ(events, "retry: 3000000\n\nid: " + guid + "\n\ndata: " + guid + "\n\n");

  // A post for the guid is a message of the subscriber; the echo is an event.
  auto post = Connect();
  post->Write("POST /zor/xhr/" + guid + " HTTP/1.1\r\nContent-Length: 6\r\n\r\nhi\nyou");
  EXPECT_TRUE(ReadToEnd(*post).starts_with("HTTP/1.1 200 OK\r\n"));
  const std::string echo = "data: echo:hi\ndata: you\n\n";
  EXPECT_EQ(sse->ReadBytes(echo.size()), echo);
  // An unknown guid gets no answer.
  auto stray = Connect();
  stray->Write("POST /zor/xhr/0123 HTTP/1.1\r\nContent-Length: 1\r\n\r\nx");
  EXPECT_EQ(ReadToEnd(*stray), "");
}

// A subprotocol component that answers posts for it; the errors of its
// connections come to it.
struct PostAnswering : TzorWSProtocol {
  std::string ProtocolName() const override { return "chat"; }
  void DoHTTPRequest(TzorWSConnection*, const std::string& aPath, std::string& aAnswer,
                     const std::string& aBody) override {
    aAnswer = "got " + aPath + " " + aBody;
  }
  void DoNotifyError(TzorWSConnection*, const std::string& Error) override {
    std::lock_guard guard(lock);
    errors.push_back(Error);
  }
  std::vector<std::string> Errors() {
    std::lock_guard guard(lock);
    return errors;
  }
  std::mutex lock;
  std::vector<std::string> errors;
};

TEST_F(ServerFixture, ProtocolPostsReachTheirComponent) {
  PostAnswering chat;
  server.RegisterProtocol(&chat);
  auto post = Connect();
  post->Write("POST /zor/protocol/CHAT/room/1 HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc");
  const std::string answer = ReadToEnd(*post);
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\nCache-Control: no-cache\r\nContent-Type: text/html\r\n"))
      << answer;
  EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), "got room/1 abc");
  auto other = Connect();
  other->Write("POST /zor/protocol/news/x HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(ReadToEnd(*other), "");
  // Posts authenticate like upgrades.
  server.SetActive(false);  // options change while the workers are stopped
  server.Authentication().Enabled = true;
  server.Authentication().Basic.Enabled = true;
  auto refused = Connect();
  refused->Write("POST /zor/protocol/chat/x HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(ReadToEnd(*refused), "");
  EXPECT_TRUE(Eventually([&] { return chat.Errors() == std::vector<std::string>{"Authentication Denied"}; }));
  server.UnregisterProtocol(&chat);
}

TEST_F(ServerFixture, GroupsTakeBroadcastsByMaskAndLoseConnectionsThatGo) {
  std::vector<std::string> changes;
  auto note = [&](const std::string& what, const std::string& group) {
    std::lock_guard guard(lock);
    changes.push_back(what + " " + group);
  };
  server.Groups().OnClientAdded = [&](TzorWSServerGroups*, const std::string& g, TzorWSConnection*) { note("+", g); };
  server.Groups().OnClientRemoved = [&](TzorWSServerGroups*, const std::string& g, TzorWSConnection*) { note("-", g); };
  // A client's first message names the group it joins.
  server.OnMessage = [this](TzorWSConnection* c, const std::string& text) {
    server.Groups().Add(text, c);
    EXPECT_FALSE(server.Groups().Add(text, c));  // once per group
    c->WriteData("joined");
  };
  auto a = Connect();
  auto b = Connect();
  const std::string joined = ServerText("joined");
  for (const auto& [client, group] : {std::pair{a.get(), "room.a"}, std::pair{b.get(), "room.b"}}) {
    client->Write(Upgrade("/") + ClientText(group));
    Head(*client);
    EXPECT_EQ(client->ReadBytes(joined.size()), joined);
  }
  server.Groups().BroadCast("room.*", "to all");
  for (auto* client : {a.get(), b.get()}) EXPECT_EQ(client->ReadBytes(8), ServerText("to all"));
  server.Groups().BroadCast("ROOM.B", "to b");
  EXPECT_EQ(b->ReadBytes(6), ServerText("to b"));

  b.reset();  // b goes; its group stays, empty
  EXPECT_TRUE(Eventually([&] { return server.Groups().GetGroupByName("room.b")->Clients.empty(); }));
  server.Groups().BroadCast("*", "last");
  EXPECT_EQ(a->ReadBytes(6), ServerText("last"));
  EXPECT_EQ(server.Groups().GetGroupByName("room.a")->Clients.size(), 1u);
  EXPECT_FALSE(server.Groups().GetGroupByName("room.c").has_value());
  server.SetActive(false);  // the handlers go with this scope
  std::lock_guard guard(lock);
  EXPECT_EQ(changes, (std::vector<std::string>{"+ room.a", "+ room.b", "- room.b", "- room.a"}));
}

TEST_F(ServerFixture, HeartBeatDropsSilentPeersAndLeavesTakenOnesToTheApplication) {
  server.HeartBeat().SetEnabled(true);
  server.FallBack().ServerSentEvents.Enabled = true;
  server.HeartBeat().SetInterval(1);
  server.HeartBeat().SetTimeout(1);
  std::vector<std::string> exceptions;
  server.OnException = [&](TzorWSConnection*, const std::exception& e) {
    std::lock_guard guard(lock);
    exceptions.push_back(e.what());
  };
  // Connections on "/own" keep their heartbeat to the application.
  server.OnBeforeHeartBeat = [](TzorComponent_Base*, TzorWSConnection* c, bool& handled) {
    handled = !c->HeadersRequest().empty() && c->HeadersRequest().front().starts_with("GET /own ");
  };
  auto silent = Connect();
  silent->Write(Upgrade("/"));
  Head(*silent);
  auto own = Connect();
  own->Write(Upgrade("/own"));
  Head(*own);
  // An event stream gets pings but has no way to answer them.
  auto events = Connect();
  events->Write("GET /events HTTP/1.1\r\nAccept: text/event-stream\r\n\r\n");
  Head(*events);
  // The silent peer gets pings, answers none and is dropped.
  EXPECT_EQ(static_cast<uint8_t>(silent->ReadBytes(1)[0]), 0x89);
  ReadToEnd(*silent);
  EXPECT_TRUE(Eventually([&] {
    std::lock_guard guard(lock);
    return exceptions == std::vector<std::string>{"HeartBeat Timeout exceeded."};
  }));
  // No ping went to the other: the echo is the first thing it reads.
  own->Write(ClientText("hi"));
  const std::string echo = ServerText("echo:hi");
  EXPECT_EQ(own->ReadBytes(echo.size()), echo);
  server.BroadCast("still there");
  std::string stream;
  while (stream.find("data: still there\n\n") == std::string::npos) stream += events->ReadBytes(1);
  EXPECT_NE(stream.find("event: Ping\ndata: "), std::string::npos) << stream;
  server.SetActive(false);  // the handlers go with this scope
}

TEST_F(ServerFixture, ApplicationGetsTheWholeBodyWhenItArrivesAfterTheHead) {
  server.OnHTTPRequest = [](TzorWSConnectionServer* conn, const std::vector<std::string>&, const std::string& body) {
    conn->SendResponseHTTP(body, "text/plain");
  };
  auto c = Connect();
  c->Write("POST /form HTTP/1.1\r\nContent-Length: 11\r\n\r\nhello");
  // The rest comes in a write of its own, after the server had the head.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  c->Write(" world");
  const std::string answer = ReadToEnd(*c);
  EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), "hello world");
}

TEST_F(ServerFixture, RejectedSocketsAreReported) {
  server.OnTCPConnect = [](TzorWSConnection*, bool& accept) { accept = false; };
  auto c = Connect();
  EXPECT_EQ(ReadToEnd(*c), "");
  EXPECT_TRUE(Eventually([&] { return Errors() == std::vector<std::string>{"Connection rejected by server."}; }));
}

// An application may keep a connection it looked up; the server stopping and
// going away must leave that reference safe to use and to let go of.
TEST(ServerLifetime, AConnectionKeptByTheApplicationOutlivesTheServer) {
  auto server = std::make_unique<TzorWSHTTPServer>();
  server->SetPort(0);
  server->SetAddress("127.0.0.1");
  server->SetThreadPoolSize(2);
  server->SetNotifyEvents(neNoSync);
  server->SetActive(true);
  auto c = ConnectToServer(*server);
  c->Write(ServerFixture::Upgrade("/chat"));
  ServerFixture::Head(*c);
  std::shared_ptr<TzorWSConnectionServer> kept;
  ASSERT_TRUE(Eventually([&] { return !server->Connections().empty(); }));
  kept = server->Connections().front();
  server->SetActive(false);
  server.reset();
  EXPECT_THROW(kept->WriteData("after the server went"), Exception);
  kept->Disconnect();
  EXPECT_TRUE(kept->Disconnected());
  kept.reset();
}

}  // namespace
}  // namespace zor
