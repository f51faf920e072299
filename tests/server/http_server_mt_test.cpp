// Application HTTP requests through the server over loopback sockets:
// keep-alive and pipelining, HEAD, chunked bodies and 100-continue, the
// handlers of each method, refusals, a failing handler, Basic access checks
// and the document root.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "base/exceptions.h"
#include "net/connection.h"
#include "tests/server/loopback_client.h"
#include "server/ws_http_server.h"

namespace zor {
namespace {

// One answer as read off the socket.
struct Answer {
  std::string head;
  std::string body;
  bool Has(const std::string& line) const { return head.find("\r\n" + line + "\r\n") != std::string::npos; }
};

class HTTPServer : public ::testing::Test {
 protected:
  HTTPServer() {
    server.SetPort(0);
    server.SetAddress("127.0.0.1");
    server.SetThreadPoolSize(2);
    server.SetNotifyEvents(neNoSync);
    server.OnError = [this](TzorWSConnection*, const std::string& error) {
      std::lock_guard guard(lock);
      errors.push_back(error);
    };
    server.OnCommandGet = [this](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                                 TzorHTTPServerResponse& response) { Echo("get", request, response); };
    server.OnCommandOther = [this](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                                   TzorHTTPServerResponse& response) { Echo("other", request, response); };
  }
  ~HTTPServer() override { server.SetActive(false); }

  void Echo(const std::string& handler, const TzorHTTPServerRequest& request, TzorHTTPServerResponse& response) {
    if (request.Document == "/throw") throw std::runtime_error("handler failed");
    if (request.Document == "/throw-other") throw 42;  // not a std::exception
    response.ContentType = "text/plain";
    response.ContentText = handler + " " + request.Command + " " + request.Document + " [" + request.PostStream + "]";
  }

  std::unique_ptr<TzorConnection> Connect() { return ConnectToServer(server); }

  // Reads one answer; `head` says whether its body is left out.
  static Answer Read(TzorConnection& c, bool headRequest = false) {
    Answer a;
    while (a.head.find("\r\n\r\n") == std::string::npos) a.head += c.ReadBytes(1);
    const size_t at = a.head.find("Content-Length: ");
    if (at != std::string::npos && !headRequest) a.body = c.ReadBytes(std::stoul(a.head.substr(at + 16)));
    return a;
  }
  static bool ClosedAfter(TzorConnection& c) {
    std::string rest;
    try {
      while (c.ReadSome(rest, 1 << 16) > 0) {
      }
    } catch (const Exception&) {
    }
    return rest.empty();
  }
  std::vector<std::string> Errors() {
    std::lock_guard guard(lock);
    return errors;
  }

  TzorWSHTTPServer server;
  std::mutex lock;
  std::vector<std::string> errors;
};

TEST_F(HTTPServer, PipelinedRequestsOnAKeptAliveConnection) {
  auto c = Connect();
  c->Write("GET /one?x=1 HTTP/1.1\r\nHost: h\r\n\r\nHEAD /two HTTP/1.1\r\n\r\nDELETE /three HTTP/1.1\r\n\r\n"
           "BREW /pot HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc");
  Answer one = Read(*c);
  EXPECT_TRUE(one.head.starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_TRUE(one.Has("Connection: keep-alive"));
  EXPECT_TRUE(one.Has("Content-Type: text/plain"));
  EXPECT_TRUE(one.Has("Server: zorWebSockets 2023.6.0"));
  EXPECT_EQ(one.body, "get GET /one []");
  Answer two = Read(*c, true);
  EXPECT_TRUE(two.Has("Content-Length: 16"));  // the length of the answer, without its bytes
  EXPECT_EQ(Read(*c).body, "other DELETE /three []");
  EXPECT_EQ(Read(*c).body, "other BREW /pot [abc]");
  c->Write("GET /last HTTP/1.1\r\nConnection: close\r\n\r\nGET /never HTTP/1.1\r\n\r\n");
  Answer last = Read(*c);
  EXPECT_TRUE(last.Has("Connection: close"));
  EXPECT_EQ(last.body, "get GET /last []");
  EXPECT_TRUE(ClosedAfter(*c));

  server.SetActive(false);
  server.SetKeepAlive(false);
  auto d = Connect();
  d->Write("GET /a HTTP/1.1\r\n\r\nGET /b HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(Read(*d).Has("Connection: close"));
  EXPECT_TRUE(ClosedAfter(*d));
}

TEST_F(HTTPServer, ChunkedBodyAfterContinue) {
  auto c = Connect();
  c->Write("POST /up HTTP/1.1\r\nExpect: 100-continue\r\nTransfer-Encoding: chunked\r\n\r\n");
  EXPECT_EQ(c->ReadBytes(25), "HTTP/1.1 100 Continue\r\n\r\n");
  c->Write("3\r\nabc\r\n");
  c->Write("2\r\nde\r\n0\r\n\r\n");
  EXPECT_EQ(Read(*c).body, "get POST /up [abcde]");
}

TEST_F(HTTPServer, AFailingHandlerAnswers500AndTheConnectionGoesOn) {
  auto c = Connect();
  c->Write("GET /throw HTTP/1.1\r\n\r\n");
  Answer failed = Read(*c);
  EXPECT_TRUE(failed.head.starts_with("HTTP/1.1 500 Internal Server Error\r\n"));
  EXPECT_EQ(Errors(), std::vector<std::string>{"handler failed"});
  c->Write("GET /after HTTP/1.1\r\n\r\n");
  EXPECT_EQ(Read(*c).body, "get GET /after []");
  // Whatever a handler throws, of any method.
  c->Write("GET /throw-other HTTP/1.1\r\n\r\nBREW /throw HTTP/1.1\r\n\r\nGET /after HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(Read(*c).head.starts_with("HTTP/1.1 500 Internal Server Error\r\n"));
  EXPECT_TRUE(Read(*c).head.starts_with("HTTP/1.1 500 Internal Server Error\r\n"));
  EXPECT_EQ(Read(*c).body, "get GET /after []");
  EXPECT_EQ(Errors(), (std::vector<std::string>{"handler failed", "Unknown exception", "handler failed"}));
  auto other = Connect();  // and the server serves other connections too
  other->Write("GET /other HTTP/1.1\r\n\r\n");
  EXPECT_EQ(Read(*other).body, "get GET /other []");

  // A handler's header line that would add lines of its own fails the same way.
  server.OnCommandGet = [](TzorWSConnectionServer*, TzorHTTPServerRequest&, TzorHTTPServerResponse& response) {
    response.CustomHeaders.push_back("X-A: 1\r\nSet-Cookie: injected=1");
  };
  c->Write("GET /inject HTTP/1.1\r\n\r\n");
  Answer injected = Read(*c);
  EXPECT_TRUE(injected.head.starts_with("HTTP/1.1 500"));
  EXPECT_EQ(injected.head.find("injected"), std::string::npos);
}

TEST_F(HTTPServer, RefusedRequestsAreAnsweredAndClosed) {
  server.HTTPLimits().MaxHeadSize = 1024;
  server.HTTPLimits().MaxBodySize = 100;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"GET / HTTP/1.1\r\nNo colon here\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
      {"GET / HTTP/1.1\r\nX: " + std::string(2000, 'a') + "\r\n\r\n", "HTTP/1.1 431 Request Header Fields Too Large\r\n"},
      {"POST / HTTP/1.1\r\nContent-Length: 101\r\n\r\n", "HTTP/1.1 413 Payload Too Large\r\n"},
  };
  for (const auto& [request, status] : cases) {
    auto c = Connect();
    c->Write(request);
    Answer a = Read(*c);
    EXPECT_TRUE(a.head.starts_with(status)) << a.head;
    EXPECT_TRUE(a.Has("Connection: close"));
    EXPECT_TRUE(ClosedAfter(*c));
  }
  // A refused request on a kept-alive connection ends it after the earlier answers.
  auto c = Connect();
  c->Write("GET /ok HTTP/1.1\r\n\r\nGET / HTTP/1.1\r\nContent-Length: x\r\n\r\n");
  EXPECT_EQ(Read(*c).body, "get GET /ok []");
  EXPECT_TRUE(Read(*c).head.starts_with("HTTP/1.1 400"));
  EXPECT_TRUE(ClosedAfter(*c));
}

TEST_F(HTTPServer, BasicAccessCheckLetsOptionsThrough) {
  server.Authentication().Enabled = true;
  server.Authentication().Basic.Enabled = true;
  server.Authentication().Basic.CustomHeaders = {"X-Extra: 1"};
  server.Authentication().AuthUsers = {"user=secret"};
  auto c = Connect();
  c->Write("OPTIONS /o HTTP/1.1\r\n\r\n");
  EXPECT_EQ(Read(*c).body, "other OPTIONS /o []");
  c->Write("GET /g HTTP/1.1\r\n\r\n");
  Answer refused = Read(*c);
  EXPECT_TRUE(refused.head.starts_with("HTTP/1.1 401 Unauthorized\r\n"));
  EXPECT_TRUE(refused.Has("WWW-Authenticate: Basic realm=\"zorWebSockets 2023.6.0\""));
  EXPECT_TRUE(refused.Has("X-Extra: 1"));
  EXPECT_TRUE(ClosedAfter(*c));

  auto d = Connect();
  d->Write("GET /g HTTP/1.1\r\nAuthorization: Basic dXNlcjpzZWNyZXQ=\r\n\r\n");  // user:secret
  EXPECT_EQ(Read(*d).body, "get GET /g []");
  // Credentials are checked on every request, not once per connection.
  d->Write("GET /h HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(Read(*d).head.starts_with("HTTP/1.1 401"));

  auto e = Connect();
  e->Write("GET /g HTTP/1.1\r\nAuthorization: Basic dXNlcjp3cm9uZw==\r\n\r\n");  // user:wrong
  EXPECT_TRUE(Read(*e).head.starts_with("HTTP/1.1 401"));
}

TEST_F(HTTPServer, DocumentRootServesFilesAndFallsThrough) {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path() / ("zor_http_root_" + std::to_string(::getpid()));
  fs::create_directories(base / "www");
  std::ofstream(base / "www" / "index.html") << "<p>hi</p>";
  std::ofstream(base / "secret.txt") << "secret";
  server.SetDocumentRoot((base / "www").string() + "/");
  server.SetCharset("utf-8");
  EXPECT_EQ(server.DocumentRoot(), (base / "www").string());
  auto c = Connect();
  c->Write("GET /index.html HTTP/1.1\r\n\r\n");
  Answer file = Read(*c);
  EXPECT_EQ(file.body, "<p>hi</p>");
  EXPECT_TRUE(file.Has("Content-Type: text/html; charset=utf-8"));
  c->Write("GET /missing.html HTTP/1.1\r\n\r\nGET /../secret.txt HTTP/1.1\r\n\r\nGET /%2e%2e%2fsecret.txt HTTP/1.1\r\n\r\n");
  EXPECT_EQ(Read(*c).body, "get GET /missing.html []");
  EXPECT_EQ(Read(*c).body, "get GET /../secret.txt []");
  EXPECT_EQ(Read(*c).body, "get GET /../secret.txt []");
  // Other methods are not served from the root.
  c->Write("PUT /index.html HTTP/1.1\r\n\r\n");
  EXPECT_EQ(Read(*c).body, "other PUT /index.html []");
  server.OnCommandGet = nullptr;
  c->Write("GET /../secret.txt HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(Read(*c).head.starts_with("HTTP/1.1 404 Not Found\r\n"));
  fs::remove_all(base);
}

TEST_F(HTTPServer, SessionsTravelInTheirCookie) {
  server.SetSessionState(true);
  server.SetAutoStartSession(true);
  std::vector<std::string> invalid;
  server.OnInvalidSession = [&](TzorWSConnectionServer*, TzorHTTPServerRequest&, TzorHTTPServerResponse& response,
                                bool& continueProcessing, const std::string& id) {
    std::lock_guard guard(lock);
    invalid.push_back(id);
    continueProcessing = id != "stop";
    response.SetStatus(403);
  };
  server.OnCommandGet = [](TzorWSConnectionServer*, TzorHTTPServerRequest& request, TzorHTTPServerResponse& response) {
    response.ContentText = request.Session ? request.Session->Value("n") : "none";
    if (request.Session) request.Session->SetValue("n", response.ContentText + "+");
  };
  auto c = Connect();
  c->Write("GET / HTTP/1.1\r\n\r\n");
  Answer first = Read(*c);
  const size_t at = first.head.find("Set-Cookie: ZORSESSIONID=");
  ASSERT_NE(at, std::string::npos);
  const std::string id = first.head.substr(at + 25, 32);
  EXPECT_TRUE(first.Has("Set-Cookie: ZORSESSIONID=" + id + "; Path=/; HttpOnly"));
  c->Write("GET / HTTP/1.1\r\nCookie: other=1; ZORSESSIONID=" + id + "\r\n\r\n");
  Answer second = Read(*c);
  EXPECT_EQ(second.body, "+");
  EXPECT_EQ(second.head.find("Set-Cookie"), std::string::npos);
  c->Write("GET / HTTP/1.1\r\nCookie: ZORSESSIONID=stop\r\n\r\n");
  EXPECT_TRUE(Read(*c).head.starts_with("HTTP/1.1 403"));
  c->Write("GET / HTTP/1.1\r\nCookie: ZORSESSIONID=gone\r\n\r\n");
  Answer restarted = Read(*c);
  EXPECT_TRUE(restarted.Has("Content-Length: 0"));  // a new session, empty
  EXPECT_NE(restarted.head.find("Set-Cookie: ZORSESSIONID="), std::string::npos);
  std::lock_guard guard(lock);
  EXPECT_EQ(invalid, (std::vector<std::string>{"stop", "gone"}));
}

TEST_F(HTTPServer, UploadsAreSavedOnlyAfterTheAccessCheck) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("zor_http_uploads_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  server.HTTPUploadFiles().StreamType = pstFileStream;
  server.HTTPUploadFiles().SaveDirectory = dir.string();
  server.Authentication().Enabled = true;
  server.Authentication().Basic.Enabled = true;
  server.Authentication().AuthUsers = {"user=secret"};
  std::vector<std::string> saved;
  server.OnHTTPUploadAfterSaveFile = [&](TzorComponent_Base*, const std::string& name, const std::string&) {
    std::lock_guard guard(lock);
    saved.push_back(name);
  };
  const std::string body =
      "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"../up.txt\"\r\n\r\ndata\r\n--B--\r\n";
  const std::string head = "POST /up HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=B\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n";
  auto refused = Connect();
  refused->Write(head + "\r\n" + body);
  EXPECT_TRUE(Read(*refused).head.starts_with("HTTP/1.1 401"));
  EXPECT_TRUE(fs::is_empty(dir));
  auto c = Connect();
  c->Write(head + "Authorization: Basic dXNlcjpzZWNyZXQ=\r\n\r\n" + body);
  EXPECT_EQ(Read(*c).body, "get POST /up []");  // the handler gets no body: it went to the file
  {
    std::lock_guard guard(lock);
    EXPECT_EQ(saved, std::vector<std::string>{"up.txt"});
  }
  EXPECT_TRUE(fs::exists(dir / "up.txt"));
  fs::remove_all(dir);
}

TEST_F(HTTPServer, ForwardedRequestsLeaveHopLinesBehind) {
  TzorWSHTTPServer backend;
  backend.SetPort(0);
  backend.SetAddress("127.0.0.1");
  backend.SetThreadPoolSize(1);
  backend.OnCommandGet = backend.OnCommandOther = [](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                                                     TzorHTTPServerResponse& response) {
    std::string lines;
    for (const auto& [name, value] : request.RawHeaders) lines += name + "=" + value + ";";
    response.SetStatus(request.Document == "/missing" ? 404 : 201);
    response.ContentType = "text/x-back";
    response.ContentText = request.Command + " " + request.URI + " " + lines + " [" + request.PostStream + "]";
    response.CustomHeaders = {"Keep-Alive: timeout=5", "X-Back: 1", "Set-Cookie: b=2"};
  };
  backend.SetActive(true);
  const std::string backURL = "http://127.0.0.1:" + std::to_string(backend.ListeningPort());
  std::vector<std::string> after;
  server.OnBeforeForwardHTTP = [&](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                                   TzorWSServerForwardHTTP& forward) {
    forward.Enabled = request.Document != "/local";
    forward.URL = request.Document == "/down" ? std::string("http://127.0.0.1:1") : backURL;
  };
  server.OnAfterForwardHTTP = [&](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                                  TzorHTTPServerResponse& response, std::exception_ptr failure) {
    std::lock_guard guard(lock);
    after.push_back(request.Document + " " + std::to_string(response.ResponseNo) + (failure ? " failed" : ""));
  };
  auto c = Connect();
  c->Write("POST /p?q=1 HTTP/1.1\r\nHost: front\r\nConnection: keep-alive, X-Hop\r\nX-Hop: 1\r\nKeep-Alive: 5\r\n"
           "Authorization: Basic dTpw\r\nX-Mine: m\r\nContent-Type: text/plain\r\nContent-Length: 4\r\n\r\nbody");
  Answer a = Read(*c);
  EXPECT_TRUE(a.head.starts_with("HTTP/1.1 201 Created\r\n")) << a.head;
  EXPECT_TRUE(a.Has("Content-Type: text/x-back"));
  EXPECT_TRUE(a.Has("X-Back: 1"));
  EXPECT_TRUE(a.Has("Set-Cookie: b=2"));
  EXPECT_FALSE(a.Has("Keep-Alive: timeout=5"));
  EXPECT_EQ(a.body.find("X-Hop"), std::string::npos) << a.body;
  EXPECT_EQ(a.body.find("Keep-Alive"), std::string::npos) << a.body;
  EXPECT_NE(a.body.find("POST /p?q=1 "), std::string::npos) << a.body;
  EXPECT_NE(a.body.find("X-Mine=m;"), std::string::npos) << a.body;
  EXPECT_NE(a.body.find("Authorization=Basic dTpw;"), std::string::npos) << a.body;  // to the configured host
  EXPECT_NE(a.body.find("X-Forwarded-For=127.0.0.1;X-Forwarded-Host=front;"), std::string::npos) << a.body;
  EXPECT_NE(a.body.find("[body]"), std::string::npos) << a.body;
  c->Write("GET /missing HTTP/1.1\r\n\r\nHEAD /h HTTP/1.1\r\n\r\nGET /down HTTP/1.1\r\n\r\nGET /local HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(Read(*c).head.starts_with("HTTP/1.1 404 Not Found\r\n"));
  EXPECT_TRUE(Read(*c, true).head.starts_with("HTTP/1.1 201"));
  EXPECT_TRUE(Read(*c).head.starts_with("HTTP/1.1 500"));
  EXPECT_EQ(Read(*c).body, "get GET /local []");
  std::lock_guard guard(lock);
  EXPECT_EQ(after, (std::vector<std::string>{"/p 201", "/missing 404", "/h 201", "/down 500 failed"}));
}

TEST_F(HTTPServer, BuiltInScriptsSwitchedOffReachTheHandler) {
  server.Options().JavascriptFiles = false;
  auto c = Connect();
  c->Write("GET /zorWebSockets.js HTTP/1.1\r\n\r\n");
  EXPECT_EQ(Read(*c).body, "get GET /zorWebSockets.js []");
}

}  // namespace
}  // namespace zor
