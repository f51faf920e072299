// The server's HTTP/2 connections over real loopback sockets, driven by a
// scripted client: WebSocket streams (extended CONNECT) that echo, end and
// authenticate one by one, built-in files and application requests on
// streams, and the answer that an unanswered stream gets.
#include "server/ws_http_server.h"

#include <gtest/gtest.h>

#include "tests/server/eventually.h"

#include <map>
#include <mutex>
#include <thread>

#include "base/bytes.h"
#include "net/connection.h"
#include "tests/http2/frame_test_support.h"
#include "websocket/frame_writer.h"

namespace zor {
namespace {

using test::Eventually;

using testing::Concat;
using testing::Frame;

// One client connection speaking HTTP/2 with prior knowledge. Every frame
// the server sends becomes a line; DATA payloads are kept per stream.
class H2Client {
 public:
  explicit H2Client(uint16_t port) {
    connection_.Options().Host = "127.0.0.1";
    connection_.Options().Port = port;
    connection_.Options().ConnectTimeout = connection_.Options().ReadTimeout = 20000;
    connection_.Options().WriteTimeout = 20000;
    connection_.Connect();
    reader_.OnReadFrameSettings = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Settings& f) {
      lines_.push_back(f.ACK() ? "SETTINGS ack" : "SETTINGS " + std::to_string(f.FrameLength()));
    };
    reader_.OnReadFrameHeaders = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Headers& f) {
      std::string line = "HEADERS " + std::to_string(f.StreamIdentifier());
      for (size_t i = 0; i < f.Headers().Count(); ++i) line += " " + f.Headers().Line(i);
      lines_.push_back(line + (f.EndStream() ? " end" : ""));
    };
    reader_.OnReadFrameData = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_Data& f) {
      const TBytes& data = f.Data();
      payloads_[f.StreamIdentifier()].append(data.begin(), data.end());
      if (f.EndStream()) lines_.push_back("END " + std::to_string(f.StreamIdentifier()));
    };
    reader_.OnReadFramePushPromise = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_PushPromise& f) {
      lines_.push_back("PUSH_PROMISE " + std::to_string(f.StreamIdentifier()) + " " +
                       std::to_string(f.PromisedStreamid()) + " " + f.URL());
    };
    reader_.OnReadFrameRSTStream = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_RSTStream& f) {
      lines_.push_back("RST_STREAM " + std::to_string(f.StreamIdentifier()) + " " + std::to_string(f.ErrorCode()));
    };
    reader_.OnReadFrameGoAway = [this](TzorHTTP2_Frame&, TzorHTTP2_Frame_GoAway& f) {
      lines_.push_back("GOAWAY " + std::to_string(f.ErrorCode()));
    };
    Send(Concat({TBytes(Th2ConnectionPreface.begin(), Th2ConnectionPreface.end()),
                 Frame(h2ftSETTINGS, 0, 0, {}), Frame(h2ftSETTINGS, h2flags::ACK, 0, {})}));
  }

  void Send(const TBytes& bytes) { connection_.Write(bytes); }
  void Request(int32_t stream, std::initializer_list<std::pair<std::string, std::string>> fields, bool endStream) {
    TzorHTTP2_HeaderList list;
    for (const auto& [name, value] : fields) list.Add(name, value);
    TzorByteBuffer block;
    encoder_.Encode(list, block);
    const uint8_t flags = h2flags::END_HEADERS | (endStream ? h2flags::END_STREAM : 0);
    Send(Frame(h2ftHEADERS, flags, static_cast<uint32_t>(stream), TBytes(block.Data(), block.Data() + block.Size())));
  }
  void Get(int32_t stream, const std::string& path) {
    Request(stream, {{":method", "GET"}, {":scheme", "http"}, {":path", path}, {":authority", "127.0.0.1"}}, true);
  }
  void Connect(int32_t stream, const std::string& path, std::initializer_list<std::pair<std::string, std::string>> more = {}) {
    std::vector<std::pair<std::string, std::string>> fields{{":method", "CONNECT"}, {":protocol", "websocket"},
                                                           {":scheme", "http"},     {":path", path},
                                                           {":authority", "127.0.0.1"}, {"sec-websocket-version", "13"}};
    fields.insert(fields.end(), more.begin(), more.end());
    TzorHTTP2_HeaderList list;
    for (const auto& [name, value] : fields) list.Add(name, value);
    TzorByteBuffer block;
    encoder_.Encode(list, block);
    Send(Frame(h2ftHEADERS, h2flags::END_HEADERS, static_cast<uint32_t>(stream),
               TBytes(block.Data(), block.Data() + block.Size())));
  }
  void Data(int32_t stream, const std::string& bytes) {
    Send(Frame(h2ftDATA, 0, static_cast<uint32_t>(stream), TBytes(bytes.begin(), bytes.end())));
  }

  // The next frame line the server sent.
  std::string Next() {
    while (lines_.empty()) {
      std::string bytes;
      if (connection_.ReadSome(bytes, 1 << 16) == 0) return "closed";
      reader_.ReadBytes(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    std::string line = lines_.front();
    lines_.erase(lines_.begin());
    return line;
  }
  // DATA of the stream until it holds `size` octets, taken out.
  std::string Payload(int32_t stream, size_t size) {
    while (payloads_[stream].size() < size) {
      std::string bytes;
      if (connection_.ReadSome(bytes, 1 << 16) == 0) break;
      reader_.ReadBytes(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    std::string payload = payloads_[stream].substr(0, size);
    payloads_[stream].erase(0, size);
    return payload;
  }

 private:
  TzorConnection connection_;
  TzorHTTP2_Frame reader_{h2frClientRead};
  TzorHTTP2_HPACK encoder_;
  std::vector<std::string> lines_;
  std::map<int32_t, std::string> payloads_;
};

std::string Frame6455(TOpcode op, const std::string& payload, bool masked) {
  const uint8_t key[4] = {7, 1, 9, 3};
  uint8_t header[14];
  std::string frame(reinterpret_cast<char*>(header),
                    EncodeFrameHeader(header, GetFrameFirstByte(op, false), payload.size(), masked ? key : nullptr));
  for (size_t i = 0; i < payload.size(); ++i) frame += masked ? static_cast<char>(payload[i] ^ key[i % 4]) : payload[i];
  return frame;
}

const std::string kServer = "server=zorWebSockets 2023.6.0";

struct ServerHTTP2 : ::testing::Test {
  ServerHTTP2() {
    server.SetPort(0);
    server.SetAddress("127.0.0.1");
    server.SetThreadPoolSize(2);
    server.SetNotifyEvents(neNoSync);
    server.HTTP2Options().Enabled = true;
    server.HTTP2Options().Settings.EnableConnectProtocol = true;
    server.OnMessage = [](TzorWSConnection* c, const std::string& text) { c->WriteData("echo:" + text); };
    server.OnConnect = [this](TzorWSConnection*) { Count("connect"); };
    server.OnDisconnect = [this](TzorWSConnection*, int) { Count("disconnect"); };
    server.OnError = [this](TzorWSConnection*, const std::string& error) { Count(error); };
  }
  ~ServerHTTP2() override { server.SetActive(false); }

  std::unique_ptr<H2Client> Client() {
    if (!server.Active()) server.SetActive(true);
    auto client = std::make_unique<H2Client>(server.ListeningPort());
    EXPECT_EQ(client->Next(), "SETTINGS 6");  // ENABLE_CONNECT_PROTOCOL
    return client;
  }
  void Count(const std::string& what) {
    std::lock_guard guard(lock);
    ++events[what];
  }
  int Events(const std::string& what) {
    std::lock_guard guard(lock);
    return events[what];
  }

  TzorWSHTTPServer server;
  std::mutex lock;
  std::map<std::string, int> events;
};

TEST_F(ServerHTTP2, WebSocketStreamsEchoAndEndOneByOne) {
  auto client = Client();
  EXPECT_EQ(client->Next(), "SETTINGS ack");
  client->Connect(1, "/chat");
  EXPECT_EQ(client->Next(), "HEADERS 1 :status=200 " + kServer);
  client->Data(1, Frame6455(opText, "hello", true));
  const std::string echo = Frame6455(opText, "echo:hello", false);
  EXPECT_EQ(client->Payload(1, echo.size()), echo);

  client->Connect(3, "/other");
  EXPECT_EQ(client->Next(), "HEADERS 3 :status=200 " + kServer);
  client->Data(3, Frame6455(opText, "two", true));
  const std::string two = Frame6455(opText, "echo:two", false);
  EXPECT_EQ(client->Payload(3, two.size()), two);
  EXPECT_TRUE(Eventually([&] { return Events("connect") == 2; }));  // the streams, not the connection
  EXPECT_EQ(server.ConnectionCount(), 3u);

  // A reset ends its stream's WebSocket only.
  client->Send(testing::Frame(h2ftRST_STREAM, 0, 1, {0, 0, 0, 8}));
  EXPECT_TRUE(Eventually([&] { return Events("disconnect") == 1; }));
  client->Data(3, Frame6455(opText, "still", true));
  const std::string still = Frame6455(opText, "echo:still", false);
  EXPECT_EQ(client->Payload(3, still.size()), still);

  // A close frame is answered with one, and the stream ends.
  client->Data(3, Frame6455(opClose, std::string("\x03\xe8", 2), true));
  EXPECT_EQ(client->Next(), "END 3");
  EXPECT_EQ(client->Payload(3, 4), Frame6455(opClose, std::string("\x03\xe8", 2), false));
  EXPECT_TRUE(Eventually([&] { return Events("disconnect") == 2; }));
  EXPECT_TRUE(Eventually([&] { return server.ConnectionCount() == 1; }));
  EXPECT_EQ(Events("connect"), 2);
}

TEST_F(ServerHTTP2, WebSocketStreamsEndWithTheirConnection) {
  auto client = Client();
  EXPECT_EQ(client->Next(), "SETTINGS ack");
  client->Connect(1, "/a");
  client->Connect(3, "/b");
  EXPECT_EQ(client->Next(), "HEADERS 1 :status=200 " + kServer);
  EXPECT_EQ(client->Next(), "HEADERS 3 :status=200 " + kServer);
  EXPECT_TRUE(Eventually([&] { return Events("connect") == 2; }));
  client.reset();  // the socket closes under both streams
  EXPECT_TRUE(Eventually([&] { return Events("disconnect") == 2; }));
  EXPECT_TRUE(Eventually([&] { return server.ConnectionCount() == 0; }));
}

TEST_F(ServerHTTP2, AStreamsCloseThatIsNeverAnsweredEndsTheStreamOnTime) {
  server.OnMessage = [](TzorWSConnection* c, const std::string&) {
    c->SetCloseTimeOut(100);
    c->Close(4001);
  };
  auto client = Client();
  EXPECT_EQ(client->Next(), "SETTINGS ack");
  client->Connect(1, "/chat");
  EXPECT_EQ(client->Next(), "HEADERS 1 :status=200 " + kServer);
  client->Data(1, Frame6455(opText, "close me", true));
  // Our close arrives and the client never answers it: the stream ends, the
  // connection that carries it stays.
  EXPECT_EQ(client->Payload(1, 4), Frame6455(opClose, std::string("\x0f\xa1", 2), false));
  EXPECT_EQ(client->Next(), "END 1");
  EXPECT_TRUE(Eventually([&] { return Events("disconnect") == 1; }));
  EXPECT_TRUE(Eventually([&] { return server.ConnectionCount() == 1; }));
}

TEST_F(ServerHTTP2, DeflateIsNegotiatedOnAStream) {
  server.Extensions().PerMessage_Deflate().SetEnabled(true);
  auto client = Client();
  EXPECT_EQ(client->Next(), "SETTINGS ack");
  client->Connect(1, "/", {{"sec-websocket-extensions", "permessage-deflate"}});
  const std::string headers = client->Next();
  EXPECT_TRUE(headers.starts_with("HEADERS 1 :status=200 sec-websocket-extensions=permessage-deflate")) << headers;
}

TEST_F(ServerHTTP2, StreamsCarryBuiltInFilesAndApplicationRequests) {
  std::vector<std::string> seen;
  server.OnCommandGet = [&](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                            TzorHTTPServerResponse& response) {
    {
      std::lock_guard guard(lock);
      seen = {request.Command + " " + request.URI + " " + request.Version, "host " + request.Host,
              "body " + request.PostStream};
    }
    if (request.Document == "/app") {
      response.ContentType = "text/plain";
      response.ContentText = "hello app";
    }
    if (request.Document == "/throws") throw 42;
  };
  auto client = Client();
  EXPECT_EQ(client->Next(), "SETTINGS ack");
  client->Get(1, "/zorWebSockets.js");
  EXPECT_EQ(client->Next(),
            "HEADERS 1 :status=200 cache-control=no-cache content-type=text/javascript; charset=utf-8 " + kServer);
  EXPECT_EQ(client->Next(), "END 1");
  EXPECT_NE(client->Payload(1, 100).find("zorWebSocket"), std::string::npos);

  client->Get(3, "/app?x=1");
  EXPECT_EQ(client->Next(), "HEADERS 3 :status=200 content-type=text/plain " + kServer);
  EXPECT_EQ(client->Next(), "END 3");
  EXPECT_EQ(client->Payload(3, 9), "hello app");
  {
    std::lock_guard guard(lock);
    EXPECT_EQ(seen, (std::vector<std::string>{"GET /app?x=1 HTTP/2", "host 127.0.0.1", "body "}));
  }

  // Posted bytes reach the handler, whose empty answer ends the stream.
  client->Request(5, {{":method", "POST"}, {":scheme", "http"}, {":path", "/form"}, {":authority", "h"}}, false);
  client->Send(Frame(h2ftDATA, h2flags::END_STREAM, 5, {'a', '=', '1'}));
  EXPECT_EQ(client->Next(), "HEADERS 5 :status=200 " + kServer + " end");
  {
    std::lock_guard guard(lock);
    EXPECT_EQ(seen, (std::vector<std::string>{"POST /form HTTP/2", "host h", "body a=1"}));
  }

  // A handler that throws anything fails its request only.
  client->Get(7, "/throws");
  EXPECT_EQ(client->Next(), "HEADERS 7 :status=500 content-type=text/plain " + kServer);
  EXPECT_EQ(client->Next(), "END 7");
  client->Get(9, "/app");
  EXPECT_EQ(client->Next(), "HEADERS 9 :status=200 content-type=text/plain " + kServer);
}

TEST_F(ServerHTTP2, WebSocketStreamsAuthenticateOneByOne) {
  server.Authentication().Enabled = true;
  server.Authentication().Basic.Enabled = true;
  server.Authentication().AuthUsers = {"alice=secret"};
  auto client = Client();
  EXPECT_EQ(client->Next(), "SETTINGS ack");
  auto basic = [](const std::string& credentials) {
    return "Basic " + EncodeBase64(reinterpret_cast<const uint8_t*>(credentials.data()), credentials.size());
  };
  client->Connect(1, "/chat");
  EXPECT_EQ(client->Next(), "RST_STREAM 1 8");
  client->Connect(3, "/chat", {{"authorization", basic("alice:wrong")}});
  EXPECT_EQ(client->Next(), "RST_STREAM 3 8");
  client->Connect(5, "/chat", {{"authorization", basic("alice:secret")}});
  EXPECT_EQ(client->Next(), "HEADERS 5 :status=200 " + kServer);
  EXPECT_TRUE(Eventually([&] { return Events("Authentication Denied") == 2; }));
  EXPECT_EQ(Events("connect"), 1);
}

TEST_F(ServerHTTP2, PreLoadLinksArePushedWithTheirPage) {
  server.Options().HTMLFiles = true;
  server.PushPromiseAddPreLoadLinks("/zorWebSockets.html", {"/zorWebSockets.js"});
  auto client = Client();
  EXPECT_EQ(client->Next(), "SETTINGS ack");
  client->Get(1, "/zorWebSockets.html");
  EXPECT_EQ(client->Next(), "HEADERS 1 :status=200 cache-control=no-cache content-type=text/html " + kServer);
  EXPECT_EQ(client->Next(), "PUSH_PROMISE 1 2 /zorWebSockets.js");
  EXPECT_EQ(client->Next(), "END 1");
  // The pushed script is served like a request of its own.
  EXPECT_EQ(client->Next(),
            "HEADERS 2 :status=200 cache-control=no-cache content-type=text/javascript; charset=utf-8 " + kServer);
  EXPECT_EQ(client->Next(), "END 2");
  EXPECT_NE(client->Payload(2, 100).find("zorWebSocket"), std::string::npos);
  // Other paths push nothing; removed links are not pushed any more.
  client->Get(3, "/zorWebSockets.js");
  EXPECT_TRUE(client->Next().starts_with("HEADERS 3 :status=200"));
  EXPECT_EQ(client->Next(), "END 3");
  server.PushPromiseRemovePreLoadLinks("/zorWebSockets.html");
  client->Get(5, "/zorWebSockets.html");
  EXPECT_TRUE(client->Next().starts_with("HEADERS 5 :status=200"));
  EXPECT_EQ(client->Next(), "END 5");
}

// Answers posts for "chat" with what it got.
struct ChatPosts : TzorWSProtocol {
  std::string ProtocolName() const override { return "chat"; }
  void DoHTTPRequest(TzorWSConnection*, const std::string& aPath, std::string& aAnswer,
                     const std::string& aBody) override {
    aAnswer = "got " + aPath + " " + aBody;
  }
};

TEST_F(ServerHTTP2, PostsOnStreamsAnswerOnTheirStream) {
  ChatPosts chat;
  server.RegisterProtocol(&chat);
  auto client = Client();
  EXPECT_EQ(client->Next(), "SETTINGS ack");
  auto post = [&](int32_t stream, const std::string& path, const std::string& body, const std::string& auth = {}) {
    client->Request(stream, {{":method", "POST"}, {":scheme", "http"}, {":path", path}, {":authority", "h"},
                             {"authorization", auth}}, false);
    client->Send(Frame(h2ftDATA, h2flags::END_STREAM, static_cast<uint32_t>(stream), TBytes(body.begin(), body.end())));
  };
  post(1, "/zor/protocol/chat/a", "b");
  EXPECT_EQ(client->Next(), "HEADERS 1 :status=200 cache-control=no-cache content-type=text/html " + kServer);
  EXPECT_EQ(client->Next(), "END 1");
  EXPECT_EQ(client->Payload(1, 7), "got a b");
  post(3, "/zor/xhr/0123", "x");  // no such connection: no answer
  EXPECT_EQ(client->Next(), "RST_STREAM 3 2");
  client.reset();

  // Refused posts get 401 on their stream; the connection goes on.
  server.SetActive(false);  // options change while the workers are stopped
  server.Authentication().Enabled = true;
  server.Authentication().Basic.Enabled = true;
  server.Authentication().AuthUsers = {"alice=secret"};
  client = Client();
  EXPECT_EQ(client->Next(), "SETTINGS ack");
  post(1, "/zor/protocol/chat/a", "b", "Basic " + EncodeBase64(reinterpret_cast<const uint8_t*>("alice:wrong"), 11));
  EXPECT_EQ(client->Next(), "HEADERS 1 :status=401 " + kServer + " end");
  post(3, "/zor/protocol/chat/c", "d", "Basic " + EncodeBase64(reinterpret_cast<const uint8_t*>("alice:secret"), 12));
  EXPECT_EQ(client->Next(), "HEADERS 3 :status=200 cache-control=no-cache content-type=text/html " + kServer);
  EXPECT_EQ(client->Next(), "END 3");
  EXPECT_EQ(client->Payload(3, 7), "got c d");
  server.UnregisterProtocol(&chat);
}

TEST_F(ServerHTTP2, WithoutTheConnectSettingTheStreamIsRefused) {
  server.HTTP2Options().Settings.EnableConnectProtocol = false;
  server.SetActive(true);
  H2Client client(server.ListeningPort());
  EXPECT_EQ(client.Next(), "SETTINGS 0");
  EXPECT_EQ(client.Next(), "SETTINGS ack");
  client.Connect(1, "/chat");
  const std::string answer = client.Next();
  EXPECT_TRUE(answer.starts_with("RST_STREAM 1") || answer.starts_with("GOAWAY")) << answer;
  EXPECT_EQ(Events("connect"), 0);
}

}  // namespace
}  // namespace zor
