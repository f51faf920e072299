// The server's application requests against independent HTTP clients: curl
// (keep-alive, chunked uploads after 100-continue, multipart form uploads,
// HEAD, plain and TLS) and Python requests (parameters, JSON and form
// bodies, uploads, the session cookie, Basic credentials).
#include "tests/interop/server_http/http_interop_server.h"

namespace zor {
namespace {

using test::HTTPInterop;
namespace fs = std::filesystem;

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
