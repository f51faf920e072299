// The server session behind a small acceptor on net/, against independent
// HTTP/2 clients: nghttp, curl, Python h2 (hostile sequences), Node's http2
// and h2load.
#include "tests/interop/http2/h2_acceptor.h"
#include "tests/interop/peer_process.h"

#include <gtest/gtest.h>

#include <fstream>

namespace zor {
namespace {

const std::string kFolder = std::string(ZOR_SOURCE_DIR) + "/tests/interop/http2/";

// Runs a shell command line to its end; returns its output, with "EXIT=<code>" last.
std::string RunPeer(const std::string& command, int seconds = 60) {
  char log[] = "/tmp/zor-h2-peer-XXXXXX";
  const int fd = mkstemp(log);
  ::close(fd);
  test::PeerProcess peer({"sh", "-c", command + "; echo EXIT=$?"}, log);
  peer.WaitForOutput("EXIT=", seconds);
  const std::string output = peer.Output();
  ::unlink(log);
  return output;
}

std::string Url(const test::H2Acceptor& server, bool tls, const std::string& path = "/") {
  return std::string(tls ? "https://localhost:" : "http://127.0.0.1:") + std::to_string(server.Port()) + path;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Http2Interop, NghttpVerboseSmallWindowsPaddingAndHeaderTable) {
  test::H2Acceptor server(false);
  // Three requests on one connection, every frame shown.
  std::string out = RunPeer("nghttp -nv " + Url(server, false, "/") + " " + Url(server, false, "/size/20000") + " " +
                        Url(server, false, "/size/0"));
  EXPECT_TRUE(Has(out, "EXIT=0")) << out;
  EXPECT_TRUE(Has(out, "recv SETTINGS frame")) << out;
  EXPECT_TRUE(Has(out, "server: zorWebSockets 2023.6.0")) << out;
  EXPECT_FALSE(Has(out, "[ERROR]")) << out;
  // Windows of 2^10 octets: the 100000-octet body comes whole.
  out = RunPeer("nghttp -w 10 -W 10 " + Url(server, false, "/size/100000") + " | wc -c");
  EXPECT_TRUE(Has(out, "100000\nEXIT=0")) << out;
  // Padded frames (the body of a POST, and HEADERS), counted in the windows.
  out = RunPeer("head -c 200000 /dev/zero > /tmp/zor-h2-body && nghttp -b 100 -d /tmp/zor-h2-body " +
            Url(server, false, "/echo") + " | wc -c; rm -f /tmp/zor-h2-body");
  EXPECT_TRUE(Has(out, "200000\nEXIT=0")) << out;
  // A small header table for this side's encoder, over several responses.
  out = RunPeer("nghttp -nv -c 256 " + Url(server, false, "/") + " " + Url(server, false, "/a") + " " +
            Url(server, false, "/b"));
  EXPECT_TRUE(Has(out, "EXIT=0")) << out;
  EXPECT_FALSE(Has(out, "[ERROR]")) << out;
  EXPECT_EQ(server.GoAways(), 0u);
}

TEST(Http2Interop, CurlPriorKnowledgeAndTLS) {
  test::H2Acceptor cleartext(false);
  std::string out = RunPeer("curl -s --http2-prior-knowledge -w ' %{http_version} %{http_code}' " + Url(cleartext, false));
  EXPECT_TRUE(Has(out, "hello 2 200")) << out;
  test::H2Acceptor tls(true);
  out = RunPeer("curl -s --http2 --cacert " + tls.CAFile() + " -w ' %{http_version} %{http_code}' " +
            Url(tls, true, "/size/70000") + " | tail -c 12");
  EXPECT_TRUE(Has(out, "xxx 2 200")) << out;
  out = RunPeer("curl -s --http2 --cacert " + tls.CAFile() + " -d @/dev/null -X POST -w '%{http_code}' " +
            Url(tls, true, "/echo"));
  EXPECT_TRUE(Has(out, "200EXIT=0")) << out;
}

TEST(Http2Interop, PythonH2HostileSequences) {
  test::H2Acceptor server(false);
  // The system Python, which has the h2 package.
  const std::string out =
      RunPeer("env PYENV_VERSION=system python3 " + kFolder + "h2_hostile.py " + std::to_string(server.Port()), 120);
  ASSERT_TRUE(Has(out, "DONE")) << out;
  const std::pair<std::string, std::string> expected[] = {
      {"data_on_idle", "GOAWAY 1"},
      {"headers_even", "GOAWAY 1"},
      {"uppercase_header", "GOAWAY 1"},
      {"connection_header", "GOAWAY 1"},
      {"window_overflow", "GOAWAY 3"},
      {"window_zero_on_stream", "RST_STREAM 1 1"},
      {"settings_bad_push", "GOAWAY 1"},
      {"settings_on_stream", "GOAWAY 1"},
      {"ping_wrong_size", "GOAWAY 6"},
      {"continuation_flood", "GOAWAY 11"},
      {"interleaved_header_block", "GOAWAY 1"},
      {"data_after_end_stream", "GOAWAY 5"},
      {"content_length_mismatch", "RST_STREAM 1 1"},
      {"rapid_reset", "GOAWAY 11"},
      {"self_dependency", "RST_STREAM 3 1"},
      {"good_request_after_all", "RESPONSE 200"},
  };
  for (const auto& [name, answer] : expected) EXPECT_TRUE(Has(out, name + " " + answer + "\n")) << name << "\n" << out;
}

TEST(Http2Interop, NodeHttp2Client) {
  test::H2Acceptor cleartext(false);
  std::string out = RunPeer("node " + kFolder + "node_client.js " + Url(cleartext, false, ""));
  EXPECT_TRUE(Has(out, "/ 200 5\n/push 200 4\n/size/0 200 0\n/size/100000 200 100000\nDONE")) << out;
  test::H2Acceptor tls(true);
  out = RunPeer("node " + kFolder + "node_client.js " + Url(tls, true, "") + " " + tls.CAFile());
  EXPECT_TRUE(Has(out, "/size/100000 200 100000\nDONE")) << out;
}

TEST(Http2Interop, H2loadCompletesEveryRequest) {
  test::H2Acceptor server(false);
  const std::string out = RunPeer("h2load -n 100000 -c 10 -m 100 " + Url(server, false), 300);
  EXPECT_TRUE(Has(out, "requests: 100000 total, 100000 started, 100000 done, 100000 succeeded, 0 failed, 0 errored, 0 timeout"))
      << out;
  EXPECT_EQ(server.Requests(), 100000u);
}

}  // namespace
}  // namespace zor
