// The local service's REST routes over HTTP/2: curl negotiates "h2" through
// ALPN and creates an index, upserts, queries and is refused a wrong key, on
// the same port that still answers HTTP/1.1 (the library's own HTTP client
// speaks HTTP/1.1 only, so the console and window tests keep using that).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/interop/server/run_program.h"
#include "tools/pinecone-local/pinecone_local.h"

namespace zor {
namespace {

const std::string kController = "api.pinecone.io";
const std::string kIndexHost = "h2-index-local.svc.us-east-1-aws.pinecone.io";

struct LocalServiceHTTP2 : ::testing::Test {
  LocalServiceHTTP2() { service.Start("h2-key"); }

  // The answer's body, then " <HTTP version> <status>". The service's
  // certificate is self-signed, hence -k.
  std::string Curl(const std::string& version, const std::string& method, const std::string& host,
                   const std::string& path, const std::string& body = {}, const std::string& key = "h2-key") {
    std::vector<std::string> argv{"curl", "-sS", "-k", version, "--connect-to",
                                  "::127.0.0.1:" + std::to_string(service.Port()), "-X", method, "-H",
                                  "Api-Key: " + key, "-H", "X-Pinecone-API-Version: 2025-04", "-w",
                                  " %{http_version} %{http_code}"};
    if (!body.empty()) argv.insert(argv.end(), {"-H", "Content-Type: application/json", "--data-binary", body});
    argv.push_back("https://" + host + path);
    return test::RunProgram(argv);
  }

  TzorPineconeLocal service;
};

TEST_F(LocalServiceHTTP2, CurlUsesTheRoutesOverHTTP2AndHTTP1) {
  const std::string created =
      Curl("--http2", "POST", kController, "/indexes",
           R"({"name":"h2-index","dimension":2,"metric":"cosine","spec":{"serverless":{"cloud":"aws","region":"us-east-1"}}})");
  EXPECT_NE(created.find("\"host\":\"" + kIndexHost + "\""), std::string::npos) << created;
  EXPECT_TRUE(created.ends_with(" 2 201")) << created;
  EXPECT_EQ(Curl("--http2", "POST", kIndexHost, "/vectors/upsert",
                 R"({"vectors":[{"id":"a","values":[1,0]},{"id":"b","values":[0,1]}]})"),
            R"({"upsertedCount":2} 2 200)");
  const std::string query = Curl("--http2", "POST", kIndexHost, "/query", R"({"vector":[1,0],"topK":1})");
  EXPECT_NE(query.find(R"("id":"a")"), std::string::npos) << query;
  EXPECT_EQ(query.find(R"("id":"b")"), std::string::npos) << query;
  EXPECT_TRUE(query.ends_with(" 2 200")) << query;
  const std::string refused = Curl("--http2", "GET", kController, "/indexes", {}, "wrong");
  EXPECT_TRUE(refused.ends_with(" 2 401")) << refused;
  // The same service and port, over HTTP/1.1.
  const std::string listed = Curl("--http1.1", "GET", kController, "/indexes");
  EXPECT_NE(listed.find("\"name\":\"h2-index\""), std::string::npos) << listed;
  EXPECT_TRUE(listed.ends_with(" 1.1 200")) << listed;
}

}  // namespace
}  // namespace zor
