// The server's application requests over HTTP/2 against independent clients:
// curl over TLS (ALPN) and cleartext with prior knowledge reaching the
// handlers and the document root, bodies, the Basic access check, and nghttp
// receiving the pages pushed with their page.
#include "tests/interop/server_http/http_interop_server.h"

#include <cctype>

namespace zor {
namespace {

namespace fs = std::filesystem;

struct HTTP2Interop : test::HTTPInterop {
  HTTP2Interop() {
    server.SetHTTP2Enabled(true);
    fs::create_directories(dir / "www");
    std::ofstream(dir / "www" / "page.html", std::ios::binary) << "<p>page</p>";
    std::ofstream(dir / "www" / "style.css", std::ios::binary) << "p{}";
    server.SetDocumentRoot((dir / "www").string());
  }
  // Restarts the server with TLS or without.
  void UseTLS(bool tls) {
    server.SetActive(false);
    server.SetSSL(tls);
    server.SSLOptions().CertFile = pki.ServerCertFile();
    server.SSLOptions().KeyFile = pki.ServerKeyFile();
  }
  // curl's answer body followed by " <HTTP version> <status>".
  std::string Curl(const std::string& version, std::vector<std::string> arguments, const std::string& url) {
    std::vector<std::string> argv{"curl", "-sS", version, "--cacert", pki.CAFile(), "-w", " %{http_version} %{http_code}"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    argv.push_back(url);
    return Run(argv);
  }
};

TEST_F(HTTP2Interop, CurlReachesHandlersAndDocumentRootOverTLSAndCleartext) {
  std::string big;
  for (int i = 0; big.size() < 300000; ++i) big += std::to_string(i) + ",";
  std::ofstream(dir / "big.txt", std::ios::binary) << big;
  struct Case {
    const char* name;
    bool tls;
    std::string version;
  };
  for (const Case& c : {Case{"tls", true, "--http2"}, Case{"prior knowledge", false, "--http2-prior-knowledge"}}) {
    SCOPED_TRACE(c.name);
    UseTLS(c.tls);
    EXPECT_EQ(Curl(c.version, {}, URL("/echo?a=1&b=x%20y", c.tls)), "GET a=1;b=x y;  2 200");
    EXPECT_EQ(Curl(c.version, {"-X", "PUT", "-H", "Content-Type: text/plain", "--data-binary", "put body"}, URL("/echo", c.tls)), "PUT  put body 2 200");
    EXPECT_EQ(Curl(c.version, {"-X", "DELETE"}, URL("/echo?id=7", c.tls)), "DELETE id=7;  2 200");
    // A body larger than the stream's first flow-control window.
    EXPECT_EQ(Curl(c.version, {"--data-binary", "@" + (dir / "big.txt").string()}, URL("/body", c.tls)), big + " 2 200");
    EXPECT_EQ(Curl(c.version, {}, URL("/page.html", c.tls)), "<p>page</p> 2 200");
    // Nothing above the document root is served.
    const std::string escaped = Curl(c.version, {"--path-as-is"}, URL("/../big.txt", c.tls));
    EXPECT_EQ(escaped.find("0,1,2"), std::string::npos) << escaped.substr(0, 100);
    EXPECT_FALSE(escaped.ends_with(" 200")) << escaped.substr(0, 100);
    EXPECT_EQ(Curl(c.version, {}, URL("/missing", c.tls)), " 2 404");
  }
}

TEST_F(HTTP2Interop, BasicAccessCheckRefusesAsOverHTTP1) {
  server.Authentication().Enabled = true;
  server.Authentication().Basic.Enabled = true;
  server.Authentication().AuthUsers = {"user=secret"};
  struct Case {
    std::string version;
    std::string shown;
  };
  for (const Case& c : {Case{"--http1.1", "1.1"}, Case{"--http2-prior-knowledge", "2"}}) {
    SCOPED_TRACE(c.version);
    // HTTP/2 field names arrive in lower case.
    std::string refused = Curl(c.version, {"-i"}, URL("/echo"));
    for (char& letter : refused) letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    EXPECT_NE(refused.find("\r\nwww-authenticate: basic realm=\"zorwebsockets 2023.6.0\"\r\n"), std::string::npos)
        << refused;
    EXPECT_TRUE(refused.ends_with(" " + c.shown + " 401")) << refused;
    const std::string wrong = Curl(c.version, {"-u", "user:wrong"}, URL("/echo"));
    EXPECT_TRUE(wrong.ends_with(" " + c.shown + " 401")) << wrong;
    EXPECT_EQ(Curl(c.version, {"-u", "user:secret"}, URL("/echo?k=v")), "GET k=v;  " + c.shown + " 200");
  }
}

TEST_F(HTTP2Interop, NghttpReceivesThePushedLinksOfAPage) {
  server.PushPromiseAddPreLoadLinks("/page.html", {"/style.css", "/echo?pushed=1"});
  struct Case {
    const char* name;
    bool tls;
  };
  for (const Case& c : {Case{"cleartext", false}, Case{"tls", true}}) {
    SCOPED_TRACE(c.name);
    UseTLS(c.tls);
    const std::string out = Run({"nghttp", "-v", URL("/page.html", c.tls)});
    EXPECT_NE(out.find("<p>page</p>"), std::string::npos) << out;
    EXPECT_NE(out.find("recv PUSH_PROMISE frame <"), std::string::npos) << out;
    EXPECT_NE(out.find("promised_stream_id=2)"), std::string::npos) << out;
    EXPECT_NE(out.find("promised_stream_id=4)"), std::string::npos) << out;
    EXPECT_NE(out.find(":path: /style.css"), std::string::npos) << out;
    EXPECT_NE(out.find(":path: /echo?pushed=1"), std::string::npos) << out;
    // Both pushed streams are answered and ended.
    for (const std::string stream : {"2", "4"}) {
      EXPECT_NE(out.find("recv (stream_id=" + stream + ") :status: 200"), std::string::npos) << stream << "\n" << out;
      EXPECT_NE(out.find("stream_id=" + stream + ">\n          ; END_STREAM"), std::string::npos) << stream << "\n" << out;
    }
  }
}

}  // namespace
}  // namespace zor
