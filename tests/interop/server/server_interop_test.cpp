// The server against independent clients: Python's websockets and Node's ws
// (plain, TLS, permessage-deflate), curl for the built-in files and the
// session route, Python's h2 for WebSocket over HTTP/2, nghttp for files over
// HTTP/2, and a headless Chromium that opens the test page, whose script
// connects, sends and shows the echo in the page.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>

#include "server/ws_http_server.h"
#include "tests/interop/server/run_program.h"
#include "tests/net/test_pki.h"

namespace zor {
namespace {

const std::string kSource = ZOR_SOURCE_DIR;
const std::string kPeers = kSource + "/tests/interop/server/";

struct ServerInterop : ::testing::Test {
  void Start(bool tls = false) {
    server.SetPort(0);
    server.SetAddress("127.0.0.1");
    server.SetThreadPoolSize(2);
    server.SetNotifyEvents(neNoSync);
    server.Options().HTMLFiles = true;
    server.Extensions().PerMessage_Deflate().SetEnabled(true);
    server.OnMessage = [](TzorWSConnection* c, const std::string& text) { c->WriteData(text); };
    server.OnBinary = [](TzorWSConnection* c, const TzorStringStream& data) { c->WriteData(data); };
    if (tls) {
      server.SetSSL(true);
      server.SSLOptions().CertFile = pki.ServerCertFile();
      server.SSLOptions().KeyFile = pki.ServerKeyFile();
    }
    server.SetActive(true);
  }
  ~ServerInterop() override { server.SetActive(false); }
  std::string URL(const std::string& scheme, const std::string& path = "/") {
    // The test certificate names "localhost".
    return scheme + "://localhost:" + std::to_string(server.ListeningPort()) + path;
  }
  static std::string Run(std::vector<std::string> argv) { return test::RunProgram(std::move(argv)); }

  test::TestPKI pki;
  TzorWSHTTPServer server;
};

TEST_F(ServerInterop, PythonWebSocketsClientPlainTLSAndDeflate) {
  Start();
  const std::string plain = Run({"/usr/bin/python3", kPeers + "python_ws_client.py", URL("ws", "/echo")});
  EXPECT_NE(plain.find("ok large\nok close 1000\ndone"), std::string::npos) << plain;
  const std::string deflate = Run({"/usr/bin/python3", kPeers + "python_ws_client.py", URL("ws", "/echo"), "--deflate"});
  EXPECT_NE(deflate.find("ok deflate\nok text\nok binary\nok empty\nok large\nok close 1000\ndone"), std::string::npos)
      << deflate;
  server.SetActive(false);
  Start(true);
  const std::string tls = Run({"/usr/bin/python3", kPeers + "python_ws_client.py", URL("wss", "/echo"), "--ca", pki.CAFile()});
  EXPECT_NE(tls.find("ok large\nok close 1000\ndone"), std::string::npos) << tls;
}

TEST_F(ServerInterop, NodeWsClientPlainTLSAndDeflate) {
  Start();
  const std::string plain = Run({"node", kPeers + "node_ws_client.mjs", URL("ws")});
  EXPECT_NE(plain.find("ok large\nok close 1000\ndone"), std::string::npos) << plain;
  const std::string deflate = Run({"node", kPeers + "node_ws_client.mjs", URL("ws"), "--deflate"});
  EXPECT_NE(deflate.find("ok deflate\nok text"), std::string::npos) << deflate;
  EXPECT_NE(deflate.find("done"), std::string::npos) << deflate;
  server.SetActive(false);
  Start(true);
  const std::string tls = Run({"node", kPeers + "node_ws_client.mjs", URL("wss"), "--ca", pki.CAFile()});
  EXPECT_NE(tls.find("done"), std::string::npos) << tls;
}

TEST_F(ServerInterop, CurlFetchesTheBuiltInFilesAndASession) {
  server.Authentication().Enabled = true;
  server.Authentication().AuthUsers = {"alice=secret"};
  Start(true);
  const std::string script =
      Run({"curl", "-sS", "-i", "--cacert", pki.CAFile(), URL("https", "/zorWebSockets.js")});
  EXPECT_NE(script.find("Content-Type: text/javascript; charset=utf-8"), std::string::npos) << script;
  EXPECT_NE(script.find("global.zorWebSocket = zorWebSocket"), std::string::npos);
  const std::string page = Run({"curl", "-sS", "--cacert", pki.CAFile(), URL("https", "/zorWebSockets.html")});
  EXPECT_NE(page.find("wss://127.0.0.1:" + std::to_string(server.ListeningPort()) + "/"), std::string::npos) << page;
  const std::string session =
      Run({"curl", "-sS", "--cacert", pki.CAFile(), URL("https", "/zor/req/auth/session/alice/secret")});
  ASSERT_GE(session.size(), 34u) << session;
  EXPECT_EQ(session.find_first_not_of("0123456789ABCDEF"), 32u) << session;
  const std::string refused =
      Run({"curl", "-sS", "-i", "--cacert", pki.CAFile(), URL("https", "/zor/req/auth/session/alice/wrong")});
  EXPECT_TRUE(refused.starts_with("HTTP/1.1 404 Not Found")) << refused;
}

TEST_F(ServerInterop, PythonH2ClientSpeaksWebSocketOverHTTP2) {
  server.SetHTTP2Enabled(true);
  server.HTTP2Options().Settings.EnableConnectProtocol = true;
  Start();
  const std::string port = std::to_string(server.ListeningPort());
  const std::string done = "ok settings\nok upgrade\nok text\nok large\nok close 1000\nok other stream\ndone";
  const std::string plain = Run({"/usr/bin/python3", kPeers + "python_h2_websocket.py", port});
  EXPECT_NE(plain.find(done), std::string::npos) << plain;
  server.SetActive(false);
  Start(true);
  const std::string tls = Run({"/usr/bin/python3", kPeers + "python_h2_websocket.py",
                               std::to_string(server.ListeningPort()), "--ca", pki.CAFile()});
  EXPECT_NE(tls.find(done), std::string::npos) << tls;
}

TEST_F(ServerInterop, NghttpFetchesABuiltInFileOverHTTP2) {
  server.SetHTTP2Enabled(true);
  Start();
  const std::string plain = Run({"nghttp", "-v", URL("http", "/zorWebSockets.js")});
  EXPECT_NE(plain.find(":status: 200"), std::string::npos) << plain;
  EXPECT_NE(plain.find("content-type: text/javascript; charset=utf-8"), std::string::npos) << plain;
  EXPECT_NE(plain.find("global.zorWebSocket = zorWebSocket"), std::string::npos) << plain;
  server.SetActive(false);
  Start(true);
  // ALPN picks h2; the page's placeholders name the TLS side.
  const std::string tls = Run({"nghttp", "-v", URL("https", "/zorWebSockets.html")});
  EXPECT_NE(tls.find("The negotiated protocol: h2"), std::string::npos) << tls;
  EXPECT_NE(tls.find(":status: 200"), std::string::npos) << tls;
  EXPECT_NE(tls.find("wss://127.0.0.1:" + std::to_string(server.ListeningPort()) + "/"), std::string::npos) << tls;
}

TEST_F(ServerInterop, ALPNPicksH2WhenEnabledAndAsksTheApplicationOtherwise) {
  // Written on the server's thread.
  std::mutex lock;
  std::vector<std::string> offered;
  auto takeOffered = [&] {
    std::lock_guard l(lock);
    return std::exchange(offered, {});
  };
  server.OnSSLALPNSelect = [&](TzorComponent_Base*, const std::vector<std::string>& protocols, std::string& chosen) {
    std::lock_guard l(lock);
    offered = protocols;
    chosen = "http/1.1";
  };
  Start(true);
  const std::string http1 = Run({"curl", "-sS", "-v", "--http2", "--cacert", pki.CAFile(), URL("https", "/zorWebSockets.js")});
  EXPECT_NE(http1.find("ALPN: server accepted http/1.1"), std::string::npos) << http1;
  EXPECT_NE(http1.find("HTTP/1.1 200 OK"), std::string::npos) << http1;
  EXPECT_EQ(takeOffered(), (std::vector<std::string>{"h2", "http/1.1"}));
  server.SetActive(false);
  server.SetHTTP2Enabled(true);
  Start(true);
  const std::string h2 = Run({"curl", "-sS", "-v", "--http2", "--cacert", pki.CAFile(), URL("https", "/zorWebSockets.js")});
  EXPECT_NE(h2.find("ALPN: server accepted h2"), std::string::npos) << h2;
  EXPECT_NE(h2.find("HTTP/2 200"), std::string::npos) << h2;
  EXPECT_NE(h2.find("global.zorWebSocket = zorWebSocket"), std::string::npos) << h2;
  EXPECT_TRUE(takeOffered().empty());  // h2 needs no one's opinion
  // HTTP/1.1 answers announce h2 on the port they came in on.
  const std::string http11 =
      Run({"curl", "-sS", "-i", "--http1.1", "--cacert", pki.CAFile(), URL("https", "/zorWebSockets.js")});
  EXPECT_NE(http11.find("Alt-Svc: h2=\":" + std::to_string(server.ListeningPort()) + "\""), std::string::npos)
      << http11;
}

TEST_F(ServerInterop, ChromiumRunsTheTestPage) {
  if (test::FindProgram("chromium").empty()) GTEST_SKIP() << "chromium is not installed (scripts/install-deps)";
  Start();
  const std::string answered = "<span id=\"result\">Hello from zorWebSockets.html</span>";
  // Headless chromium dumps the page when its virtual time runs out, which
  // does not wait for the echo: on a busy machine a run may end before it.
  std::string dom;
  for (int run = 0; run < 3 && dom.find(answered) == std::string::npos; ++run) {
    // A folder of this run's own: runs of other trees may share the machine.
    std::string profile = ::testing::TempDir() + "server_interop_chromium_XXXXXX";
    ASSERT_NE(mkdtemp(profile.data()), nullptr);
    dom = Run({"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + profile, "--virtual-time-budget=10000", "--dump-dom",
               "http://127.0.0.1:" + std::to_string(server.ListeningPort()) + "/zorWebSockets.html"});
    std::filesystem::remove_all(profile);
  }
  EXPECT_NE(dom.find("<span id=\"status\">connected</span>"), std::string::npos) << dom;
  EXPECT_NE(dom.find(answered), std::string::npos) << dom;
}

}  // namespace
}  // namespace zor
