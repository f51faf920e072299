// The HTTP client over a scripted transport: exact request bytes, response
// handling, redirects, cookies, kept connections and server-sent events.
#include <gtest/gtest.h>

#include <functional>

#include "http/http_client.h"
#include "http/http_exceptions.h"
#include "tests/http/scripted_transport.h"

namespace zor {
namespace {

using testing::ScriptedHTTP;
using testing::ScriptedServer;

constexpr const char* kOwnLines = "Accept: */*\r\nUser-Agent: Mozilla/5.0 (zorWebSockets 2023.6.0)\r\n";

std::string Ok(const std::string& body, const std::string& extra = {}) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

TEST(HTTPClient, VerbsWriteExactRequests) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  http.Request().CustomHeaders.SetText("X-One: 1\r\nX-Two: 2");
  for (int i = 0; i < 6; ++i) server.responses.push_back(Ok("ok"));

  EXPECT_EQ(http.Get("http://h.example/a/b?c=d#frag"), "ok");
  EXPECT_EQ(server.connections[0]->received,
            std::string("GET /a/b?c=d HTTP/1.1\r\nHost: h.example\r\n") + kOwnLines + "X-One: 1\r\nX-Two: 2\r\n\r\n");
  size_t seen = server.connections[0]->received.size();
  auto next = [&] {
    std::string all = server.AllReceived();
    std::string fresh = all.substr(seen);
    seen = all.size();
    return fresh;
  };

  TzorStringStream source("{\"a\":1}"), response;
  http.Post("http://h.example/p", source, response);
  EXPECT_EQ(response.DataString(), "ok");
  EXPECT_EQ(next(), std::string("POST /p HTTP/1.0\r\nHost: h.example\r\nContent-Length: 7\r\n") + kOwnLines +
                        "X-One: 1\r\nX-Two: 2\r\n\r\n{\"a\":1}");

  http.HTTPOptions().insert(hoKeepOrigProtocol);
  http.Post("http://h.example/p", source, response);
  EXPECT_EQ(next().substr(0, 24), "POST /p HTTP/1.1\r\nHost: ");

  EXPECT_EQ(http.Delete("http://h.example/d"), "ok");
  EXPECT_EQ(next(), std::string("DELETE /d HTTP/1.1\r\nHost: h.example\r\n") + kOwnLines + "X-One: 1\r\nX-Two: 2\r\n\r\n");
  EXPECT_EQ(http.Delete("http://h.example/d", "{\"ids\":[\"\xC3\xA9\"]}"), "ok");
  EXPECT_EQ(next(), std::string("DELETE /d HTTP/1.1\r\nHost: h.example\r\nContent-Length: 14\r\n") + kOwnLines +
                        "X-One: 1\r\nX-Two: 2\r\n\r\n{\"ids\":[\"\xC3\xA9\"]}");
  EXPECT_EQ(http.Put("https://h.example:8443/u", TzorStringStream("x")), "ok");
  EXPECT_EQ(next(), std::string("PUT /u HTTP/1.1\r\nHost: h.example:8443\r\nContent-Length: 1\r\n") + kOwnLines +
                        "X-One: 1\r\nX-Two: 2\r\n\r\nx");
  EXPECT_TRUE(server.connections.back()->endpoint.tls);
  EXPECT_EQ(server.connections.back()->endpoint.port, 8443);
}

TEST(HTTPClient, MultipartPostCarriesItsBoundary) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  server.responses.push_back(Ok("done"));
  TzorMultipartFormData form;
  form.AddFormField("na\"me", "v\xC3\xA9");
  form.AddFile("file", "a.txt", "abc", "text/plain");
  EXPECT_EQ(http.Post("http://h/upload", form), "done");
  const std::string& sent = server.connections[0]->received;
  const std::string b = form.Boundary();
  EXPECT_NE(sent.find("Content-Type: multipart/form-data; boundary=" + b + "\r\n"), std::string::npos);
  const std::string body = "--" + b + "\r\nContent-Disposition: form-data; name=\"na%22me\"\r\n\r\nv\xC3\xA9\r\n--" + b +
                           "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.txt\"\r\n"
                           "Content-Type: text/plain\r\n\r\nabc\r\n--" + b + "--\r\n";
  EXPECT_EQ(sent.substr(sent.size() - body.size()), body);
  EXPECT_NE(sent.find("Content-Length: " + std::to_string(body.size())), std::string::npos);
}

TEST(HTTPClient, ErrorStatusRaisesStatusLineAndBody) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  server.responses.push_back(
      "HTTP/1.1 401 Unauthorized\r\nContent-Type: application/json\r\nContent-Length: 15\r\n\r\n{\"error\":\"n\xC3\xA9\"}");
  try {
    http.Get("http://h/x");
    FAIL() << "no error";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_STREQ(e.what(), "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(e.ErrorCode(), 401);
    EXPECT_EQ(e.ErrorMessage(), "{\"error\":\"n\xC3\xA9\"}");
  }
  server.responses.push_back("HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=ISO-8859-1\r\nContent-Length: 1\r\n\r\n\xE9");
  EXPECT_EQ(http.Get("http://h/x"), "\xC3\xA9");
}

TEST(HTTPClient, StreamVerbsAndErrorContentKeepTheBytes) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  const std::string latin1 = "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=ISO-8859-1\r\nContent-Length: 2\r\n\r\n\xE9\xFF";
  using Verb = std::function<void(TzorStringStream&)>;
  const std::pair<std::string, Verb> verbs[] = {
      {"PUT /u HTTP/1.1", [&](TzorStringStream& r) { http.Put("http://h/u", TzorStringStream("\xFE"), r); }},
      {"PATCH /u HTTP/1.1", [&](TzorStringStream& r) { http.Patch("http://h/u", TzorStringStream("\xFE"), r); }},
      {"DELETE /u HTTP/1.1", [&](TzorStringStream& r) { http.Delete("http://h/u", TzorStringStream("\xFE"), r); }},
      {"DELETE /e HTTP/1.1", [&](TzorStringStream& r) { http.Delete("http://h/e", TzorStringStream(), r); }}};
  for (const auto& [line, verb] : verbs) {
    server.responses.push_back(latin1);
    const size_t before = server.AllReceived().size();
    TzorStringStream response;
    verb(response);
    EXPECT_EQ(response.DataString(), "\xE9\xFF") << line;  // not decoded into UTF-8
    const std::string sent = server.AllReceived().substr(before);
    EXPECT_TRUE(sent.starts_with(line)) << sent;
    EXPECT_EQ(sent.ends_with("\r\n\r\n\xFE"), line != "DELETE /e HTTP/1.1") << sent;
    EXPECT_EQ(sent.find("Content-Length: 0"), std::string::npos) << sent;  // an empty DELETE carries no length
  }
  server.responses.push_back("HTTP/1.1 500 Oops\r\nContent-Type: text/plain; charset=ISO-8859-1\r\nContent-Length: 1\r\n\r\n\xE9");
  try {
    TzorStringStream response;
    http.Put("http://h/u", TzorStringStream("x"), response);
    FAIL() << "no error";
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorMessage(), "\xC3\xA9");
    EXPECT_EQ(e.ErrorContent(), "\xE9");
  }
}

TEST(HTTPClient, RedirectsOnlyWhenEnabled) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  http.Request().CustomHeaders.SetText("Authorization: Bearer secret");
  const std::string redirect = "HTTP/1.1 302 Found\r\nLocation: /moved?x=1\r\nContent-Length: 5\r\n\r\nmoved";
  server.responses.push_back(redirect);
  EXPECT_EQ(http.Get("http://h/old"), "moved");
  EXPECT_EQ(http.ResponseCode(), 302);

  http.SetHandleRedirects(true);
  server.responses = {redirect, Ok("there")};
  TzorStringStream source("data"), response;
  http.Post("http://h/old", source, response);
  EXPECT_EQ(response.DataString(), "there");
  EXPECT_NE(server.AllReceived().find("GET /moved?x=1 HTTP/1.1\r\n"), std::string::npos);

  // To another site: the credentials stay behind.
  server.responses = {"HTTP/1.1 307 Temporary Redirect\r\nLocation: http://other:81/n\r\nContent-Length: 0\r\n\r\n",
                      Ok("far")};
  EXPECT_EQ(http.Get("http://h/old"), "far");
  EXPECT_EQ(server.connections.back()->endpoint.host, "other");
  EXPECT_EQ(server.connections.back()->received.find("Authorization"), std::string::npos);
  EXPECT_NE(server.connections.back()->received.find("Host: other:81\r\n"), std::string::npos);

  http.SetRedirectMaximum(2);
  server.responses = {redirect, redirect, redirect, redirect};
  EXPECT_THROW(http.Get("http://h/old"), EzorHTTPClientError);
}

TEST(HTTPClient, CookiesAndKeptConnections) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  server.responses = {Ok("1", "Set-Cookie: s=abc; Path=/\r\n"), Ok("2"), Ok("3", "Connection: close\r\n"), Ok("4")};
  http.Get("http://h/a");
  http.Get("http://h/b");
  EXPECT_EQ(server.connections.size(), 1u);
  EXPECT_NE(server.connections[0]->received.find("GET /b HTTP/1.1\r\nHost: h\r\nAccept: */*\r\nUser-Agent: "
                                                 "Mozilla/5.0 (zorWebSockets 2023.6.0)\r\nCookie: s=abc\r\n"),
            std::string::npos);
  http.Get("http://h/c");
  EXPECT_FALSE(http.Connected());
  http.Get("http://h/d");
  EXPECT_EQ(server.connections.size(), 2u);
  EXPECT_TRUE(http.Connected());

  // The server dropped the kept connection: one new attempt.
  server.connections[1]->closed_by_server = true;
  server.responses = {Ok("5")};
  EXPECT_EQ(http.Get("http://h/e"), "5");
  EXPECT_EQ(server.connections.size(), 3u);
  // A fresh connection that closes without an answer is an error.
  server.connections[2]->closed_by_server = true;
  http.Disconnect();
  server.responses.clear();
  EXPECT_THROW(http.Get("http://h/f"), EzorHTTPClientError);
}

TEST(HTTPClient, ConnectToRedirectsTheSocketOnly) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  http.ConnectTo().push_back({"api.example.com", 443, "127.0.0.1", 9443});
  server.responses = {Ok("a"), Ok("b")};
  http.Get("https://api.example.com/x");
  const TzorHTTPEndpoint& e = server.connections[0]->endpoint;
  EXPECT_EQ(e.host, "api.example.com");
  EXPECT_EQ(e.connect_host, "127.0.0.1");
  EXPECT_EQ(e.connect_port, 9443);
  EXPECT_NE(server.connections[0]->received.find("Host: api.example.com\r\n"), std::string::npos);
  http.Get("https://other.example.com/x");
  EXPECT_EQ(server.connections[1]->endpoint.connect_host, "other.example.com");
}

TEST(HTTPClient, BadURLsAndRefusedConnectionsRaise) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  EXPECT_THROW(http.Get("ftp://h/x"), EzorHTTPClientError);
  EXPECT_THROW(http.Get("no url"), EzorHTTPClientError);
  server.refuse = true;
  EXPECT_THROW(http.Get("http://h/x"), EzorHTTPClientError);
}

TEST(HTTPClient, ServerSentEventsUntilTheHandlerCancels) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  server.piece = 5;
  server.responses.push_back(
      "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nTransfer-Encoding: chunked\r\n\r\n"
      "b\r\ndata: \xC3\xA9t\xC3\xA9\r\n"
      "9\r\ndata: two\r\n"
      "b\r\ndata: three\r\n0\r\n\r\n");
  std::vector<std::string> messages;
  http.OnSSEMessage = [&](TzorComponent_Base* sender, const std::string& message, bool& cancel) {
    EXPECT_EQ(sender, &http);
    messages.push_back(message);
    cancel = message.find("two") != std::string::npos;
  };
  http.GetSSE("http://h/events", "utf-8");
  std::string joined;
  for (const std::string& m : messages) joined += m;
  EXPECT_EQ(joined.substr(0, 20), "data: \xC3\xA9t\xC3\xA9" "data: two");  // split sequences decoded whole
  EXPECT_GT(messages.size(), 2u);
  EXPECT_EQ(joined.find("three"), std::string::npos);
  EXPECT_FALSE(http.Connected());
  const std::string& sent = server.connections[0]->received;
  EXPECT_NE(sent.find("Accept: text/event-stream;charset=UTF-8\r\nCache-Control: no-store\r\n"), std::string::npos);
}

}  // namespace
}  // namespace zor
