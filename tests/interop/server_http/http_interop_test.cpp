// The server's application requests against independent HTTP clients: curl
// (keep-alive, chunked uploads after 100-continue, multipart form uploads,
// HEAD, plain and TLS) and Python requests (parameters, JSON and form
// bodies, uploads, the session cookie, Basic credentials).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "server/ws_http_server.h"
#include "tests/interop/server/run_program.h"
#include "tests/net/test_pki.h"

namespace zor {
namespace {

namespace fs = std::filesystem;

struct HTTPInterop : ::testing::Test {
  HTTPInterop() {
    dir = fs::temp_directory_path() / ("zor_http_interop_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "uploads");
    server.SetPort(0);
    server.SetAddress("127.0.0.1");
    server.SetThreadPoolSize(2);
    server.SetNotifyEvents(neNoSync);
    server.SetSessionState(true);
    server.HTTPUploadFiles().StreamType = pstFileStream;
    server.HTTPUploadFiles().SaveDirectory = (dir / "uploads").string();
    server.OnHTTPUploadReadInput = [this](TzorComponent_Base*, const std::string& name, const std::string& value) {
      std::lock_guard guard(lock);
      fields.push_back(name + "=" + value);
    };
    server.OnCommandGet = server.OnCommandOther = [this](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                                                         TzorHTTPServerResponse& response) {
      Answer(request, response);
    };
  }
  ~HTTPInterop() override {
    server.SetActive(false);
    fs::remove_all(dir);
  }

  void Answer(TzorHTTPServerRequest& request, TzorHTTPServerResponse& response) {
    response.ContentType = "text/plain";
    if (request.Document == "/echo") {
      std::string params;
      for (const auto& [name, value] : request.Params) params += name + "=" + value + ";";
      response.ContentText = request.Command + " " + params + " " + request.PostStream;
    } else if (request.Document == "/body") {
      response.ContentText = request.PostStream;
    } else if (request.Document == "/upload") {
      std::lock_guard guard(lock);
      for (const auto& entry : fs::directory_iterator(dir / "uploads")) response.ContentText += entry.path().filename().string() + ";";
      for (const auto& field : fields) response.ContentText += field + ";";
    } else if (request.Document == "/session") {
      if (!request.Session) server.StartSession(request, response);
      response.ContentText = request.Session->Value("visits");
      request.Session->SetValue("visits", response.ContentText + "+");
    } else if (request.Document == "/private") {
      const bool granted = request.AuthExists && request.AuthUsername == "user" && request.AuthPassword == "secret";
      if (granted) {
        response.ContentText = "granted";
      } else {
        response.SetStatus(401);
        response.CustomHeaders.push_back("WWW-Authenticate: Basic realm=\"test\"");
      }
    } else {
      response.SetStatus(404);
    }
  }

  std::string URL(const std::string& path, bool tls = false) {
    if (!server.Active()) server.SetActive(true);
    return std::string(tls ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(server.ListeningPort()) +
           path;
  }
  static std::string Run(std::vector<std::string> argv) { return test::RunProgram(std::move(argv)); }

  fs::path dir;
  test::TestPKI pki;
  TzorWSHTTPServer server;
  std::mutex lock;
  std::vector<std::string> fields;
};

TEST_F(HTTPInterop, CurlKeepsTheConnectionForSeveralRequests) {
  const std::string format = "%{http_code} %{num_connects}\n";
  const std::string out = Run({"curl", "-sS", "--http1.1", "-w", format, URL("/echo?a=1"), URL("/echo?b=2"), "--next",
                               "-sS", "--http1.1", "-I", "-w", format, URL("/echo")});
  // One connection for all three; the HEAD answer has the GET's length and no body.
  EXPECT_NE(out.find("GET a=1; 200 1\nGET b=2; 200 0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Content-Length: 6\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\r\n\r\n200 0\n"), std::string::npos) << out;
}

TEST_F(HTTPInterop, CurlUploadsChunkedAndMultipart) {
  std::string big;
  for (int i = 0; big.size() < 200000; ++i) big += std::to_string(i) + ",";
  std::ofstream(dir / "big.txt", std::ios::binary) << big;
  // curl asks for 100-continue before a body this large, and sends it chunked.
  const std::string echoed = Run({"curl", "-sS", "--http1.1", "-H", "Transfer-Encoding: chunked", "--data-binary",
                                  "@" + (dir / "big.txt").string(), URL("/body")});
  EXPECT_EQ(echoed, big);
  const std::string verbose = Run({"curl", "-sS", "-v", "-o", "/dev/null", "--http1.1", "-H",
                                   "Transfer-Encoding: chunked", "-H", "Expect: 100-continue", "--data-binary",
                                   "@" + (dir / "big.txt").string(), URL("/body")});
  EXPECT_NE(verbose.find("< HTTP/1.1 100 Continue"), std::string::npos) << verbose;

  std::ofstream(dir / "part.bin", std::ios::binary) << "part\r\n--boundary-lookalike\r\n";
  const std::string form = Run({"curl", "-sS", "-F", "title=hello world", "-F",
                                "file=@" + (dir / "part.bin").string() + ";filename=../../evil.bin", URL("/upload")});
  EXPECT_EQ(form, "evil.bin;title=hello world;");
  std::ifstream saved(dir / "uploads" / "evil.bin", std::ios::binary);
  std::stringstream content;
  content << saved.rdbuf();
  EXPECT_EQ(content.str(), "part\r\n--boundary-lookalike\r\n");
  EXPECT_FALSE(fs::exists(dir / "evil.bin"));
}

TEST_F(HTTPInterop, CurlOverTLS) {
  server.SetSSL(true);
  server.SSLOptions().CertFile = pki.ServerCertFile();
  server.SSLOptions().KeyFile = pki.ServerKeyFile();
  const std::string out = Run({"curl", "-sS", "--http1.1", "--cacert", pki.CAFile(), URL("/echo?t=1", true),
                               URL("/echo?t=2", true), "-w", " %{num_connects}\n"});
  EXPECT_EQ(out, "GET t=1;  1\nGET t=2;  0\n");
}

TEST_F(HTTPInterop, PythonRequests) {
  const std::string out = Run({"/usr/bin/python3", std::string(ZOR_SOURCE_DIR) + "/tests/interop/server_http/requests_client.py",
                               URL("")});
  EXPECT_EQ(out,
            "get 200 GET q=a b;n=1; \n"
            "json 200 text/plain POST  {\"k\": [1, 2]}\n"
            "form 200 POST field=x&y; field=x%26y\n"
            "upload 200 evil.txt;title=t;\n"
            "cookie False\n"
            "session 200 '' True\n"
            "session 200 '+'\n"
            "auth 200 granted\n"
            "denied 401 Basic realm=\"test\"\n"
            "head 200 6 ''\n"
            "done\n");
}

}  // namespace
}  // namespace zor
