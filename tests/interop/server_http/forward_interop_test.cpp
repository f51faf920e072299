// Requests forwarded by the server to Python's http.server and back, with
// curl as the client: what crosses the hop (credentials to the configured
// host only, hop-by-hop lines of neither side), and statuses, binary,
// chunked, compressed and close-delimited bodies coming back intact.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "server/ws_http_server.h"
#include "tests/interop/peer_process.h"
#include "tests/interop/server/run_program.h"

namespace zor {
namespace {

namespace fs = std::filesystem;

const std::string kPeerScript = std::string(ZOR_SOURCE_DIR) + "/tests/interop/server_http/forward_peer.py";

// The pattern of the peer's /bytes/N answers.
std::string Pattern(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) % 256);
  return bytes;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// One Python http.server on `address`, printing each request it receives.
struct Peer {
  explicit Peer(const std::string& address, const std::string& log)
      : port(test::FreeLoopbackPort()),
        process({"/usr/bin/python3", kPeerScript, address, std::to_string(port)}, log) {
    if (!process.WaitForOutput("listening")) throw std::runtime_error("the peer did not start: " + process.Output());
  }
  uint16_t port;
  test::PeerProcess process;
};

struct Answer {
  std::string head;
  std::string body;
  bool Has(const std::string& line) const { return head.find("\r\n" + line + "\r\n") != std::string::npos; }
  bool Names(const std::string& name) const { return head.find("\r\n" + name + ":") != std::string::npos; }
};

struct ForwardInterop : ::testing::Test {
  ForwardInterop() {
    dir = fs::temp_directory_path() / ("zor_forward_interop_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    server.SetPort(0);
    server.SetAddress("127.0.0.1");
    server.SetThreadPoolSize(2);
    server.SetNotifyEvents(neNoSync);
    server.OnBeforeForwardHTTP = [this](TzorWSConnectionServer*, TzorHTTPServerRequest&,
                                        TzorWSServerForwardHTTP& forward) {
      forward.Enabled = true;
      forward.URL = "http://127.0.0.1:" + std::to_string(peer.port);
    };
    server.OnAfterForwardHTTP = [this](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                                       TzorHTTPServerResponse& response, std::exception_ptr failure) {
      std::lock_guard guard(lock);
      forwarded.push_back(request.Command + " " + request.URI + " " + std::to_string(response.ResponseNo) +
                          (failure ? " failed" : ""));
    };
    server.SetActive(true);
  }
  ~ForwardInterop() override {
    server.SetActive(false);
    fs::remove_all(dir);
  }

  std::string URL(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(server.ListeningPort()) + path;
  }
  // curl's request through the server: the answer's head and body as received.
  Answer Fetch(const std::string& path, std::vector<std::string> options = {}) {
    const std::string head = (dir / "head").string(), body = (dir / "body").string();
    std::vector<std::string> argv{"curl", "-sS", "--http1.1", "-D", head, "-o", body};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(URL(path));
    const std::string out = test::RunProgram(argv);
    EXPECT_EQ(out, "") << path;
    return {ReadFile(head), ReadFile(body)};
  }
  std::vector<std::string> Forwarded() {
    std::lock_guard guard(lock);
    return forwarded;
  }

  fs::path dir;
  Peer peer{"127.0.0.1", ::testing::TempDir() + "forward_peer_" + std::to_string(::getpid()) + ".log"};
  TzorWSHTTPServer server;
  std::mutex lock;
  std::vector<std::string> forwarded;
};

TEST_F(ForwardInterop, CredentialsReachTheConfiguredHostAndNoHopLineCrosses) {
  const Answer a = Fetch("/echo?q=1", {"-u", "user:secret", "-H", "Cookie: c=1", "-H", "X-Custom: mine", "-H",
                                      "Proxy-Authorization: Basic cHJveHk6cHc=", "-H", "Connection: X-Hop", "-H",
                                      "X-Hop: 1", "-H", "Keep-Alive: timeout=3", "-H", "TE: trailers"});
  EXPECT_TRUE(a.head.starts_with("HTTP/1.1 200 OK\r\n")) << a.head;
  const std::string& seen = a.body;
  EXPECT_TRUE(seen.starts_with("GET /echo?q=1\n")) << seen;
  const std::vector<std::string> passed{"Authorization: Basic dXNlcjpzZWNyZXQ=", "Cookie: c=1", "X-Custom: mine",
                                       "X-Forwarded-For: 127.0.0.1", "Host: 127.0.0.1:" + std::to_string(peer.port),
                                       "X-Forwarded-Host: 127.0.0.1:" + std::to_string(server.ListeningPort())};
  for (const std::string& line : passed)
    EXPECT_NE(seen.find("\n" + line + "\n"), std::string::npos) << line << "\n" << seen;
  for (const std::string& name : std::vector<std::string>{"Proxy-Authorization", "X-Hop", "Keep-Alive", "TE", "Connection: X-Hop"})
    EXPECT_EQ(seen.find("\n" + name), std::string::npos) << name << "\n" << seen;
  // The peer's hop-by-hop lines stay with the hop they came over.
  EXPECT_FALSE(a.Names("X-Peer-Hop")) << a.head;
  EXPECT_FALSE(a.Names("Keep-Alive")) << a.head;
  EXPECT_FALSE(a.Has("Connection: X-Peer-Hop")) << a.head;
}

TEST_F(ForwardInterop, ARedirectToAnotherHostIsPassedBackNotFollowed) {
  Peer other("127.0.0.2", ::testing::TempDir() + "forward_other_peer_" + std::to_string(::getpid()) + ".log");
  const std::string elsewhere = "http://127.0.0.2:" + std::to_string(other.port) + "/stolen";
  const Answer a = Fetch("/redirect/" + elsewhere, {"-u", "user:secret", "-H", "Cookie: c=1"});
  EXPECT_TRUE(a.head.starts_with("HTTP/1.1 302 Found\r\n")) << a.head;
  EXPECT_TRUE(a.Has("Location: " + elsewhere)) << a.head;
  EXPECT_EQ(a.body, "moved");
  // The other host is reachable, yet heard nothing: neither the credentials nor anything else went there.
  EXPECT_EQ(Fetch("/echo").body.find("GET /echo\n"), 0u);
  EXPECT_EQ(test::RunProgram({"curl", "-sS", "-o", "/dev/null", "-w", "%{http_code}",
                              "http://127.0.0.2:" + std::to_string(other.port) + "/status/204"}),
            "204");
  EXPECT_EQ(other.process.Output(), "listening\nrequest GET /status/204\n");
}

TEST_F(ForwardInterop, BodiesComeBackIntact) {
  std::string sent = Pattern(1 << 20);
  sent += std::string("\0\r\n\r\n--x", 9);
  std::ofstream(dir / "upload.bin", std::ios::binary) << sent;
  struct Case {
    std::string method;
    std::vector<std::string> options;
  };
  const Case uploads[] = {{"POST", {}}, {"PUT", {"-X", "PUT"}}, {"PATCH", {"-X", "PATCH"}}, {"DELETE", {"-X", "DELETE"}}};
  for (const Case& c : uploads) {
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"-H", "Content-Type: application/octet-stream", "--data-binary",
                                   "@" + (dir / "upload.bin").string()});
    const Answer a = Fetch("/echo-body", options);
    const size_t start = a.body.find("\n\n");
    ASSERT_NE(start, std::string::npos) << c.method;
    EXPECT_TRUE(a.body.starts_with(c.method + " /echo-body\n")) << c.method;
    EXPECT_EQ(a.body.substr(start + 2) == sent, true) << c.method << ": " << a.body.size() << " bytes back";
  }

  // A chunked answer, with the lines that describe it end to end.
  const Answer chunked = Fetch("/bytes/300000");
  EXPECT_EQ(chunked.body == Pattern(300000), true) << chunked.body.size();
  EXPECT_TRUE(chunked.Has("Content-Length: 300000")) << chunked.head;
  EXPECT_TRUE(chunked.Has("ETag: \"v1\"")) << chunked.head;
  EXPECT_TRUE(chunked.Has("Cache-Control: max-age=60")) << chunked.head;
  EXPECT_FALSE(chunked.Names("Transfer-Encoding")) << chunked.head;

  // A compressed answer stays compressed and says so, for the client to decode.
  std::string text;
  for (int i = 0; i < 100; ++i) text += "squeezed text ";
  const Answer gzip = Fetch("/gzip", {"--compressed"});
  EXPECT_TRUE(gzip.Has("Content-Encoding: gzip")) << gzip.head;
  EXPECT_EQ(gzip.body, text);

  EXPECT_EQ(Fetch("/close").body, "until the end");

  const Answer head = Fetch("/bytes/1000", {"-I"});
  EXPECT_TRUE(head.head.starts_with("HTTP/1.1 200 OK\r\n")) << head.head;
  EXPECT_TRUE(head.Has("Content-Length: 1000")) << head.head;
}

TEST_F(ForwardInterop, StatusesComeBackIntact) {
  struct Case {
    int status;
    std::string line;
    std::string body;
  };
  const std::string raw = " \xff\xfe";  // not text: an error body decoded on the way would change
  const Case cases[] = {{201, "HTTP/1.1 201 Created", "status 201" + raw},
                        {204, "HTTP/1.1 204 No Content", ""},
                        {401, "HTTP/1.1 401 Unauthorized", "status 401" + raw},
                        {404, "HTTP/1.1 404 Not Found", "status 404" + raw},
                        {418, "HTTP/1.1 418 I'm a Teapot", "status 418" + raw},  // the peer's own reason
                        {500, "HTTP/1.1 500 Internal Server Error", "status 500" + raw},
                        {503, "HTTP/1.1 503 Service Unavailable", "status 503" + raw}};
  for (const Case& c : cases) {
    const Answer a = Fetch("/status/" + std::to_string(c.status));
    EXPECT_TRUE(a.head.starts_with(c.line + "\r\n")) << a.head;
    EXPECT_EQ(a.body, c.body) << c.status;
    if (c.status == 401) {
      EXPECT_TRUE(a.Has("WWW-Authenticate: Basic realm=\"peer\"")) << a.head;
    }
  }
  // Several forwarded requests over one kept-alive connection of the client.
  const std::string out = test::RunProgram({"curl", "-sS", "--http1.1", "-o", "/dev/null", "-o", "/dev/null", "-w",
                                            "%{http_code} %{num_connects};", URL("/status/404"), URL("/echo")});
  EXPECT_EQ(out, "404 1;200 0;");
  const std::vector<std::string> seen = Forwarded();
  ASSERT_EQ(seen.size(), std::size(cases) + 2);
  EXPECT_EQ(seen.back(), "GET /echo 200");
}

}  // namespace
}  // namespace zor
