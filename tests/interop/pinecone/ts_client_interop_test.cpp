// The service's official TypeScript client (npm @pinecone-database/pinecone,
// scripts/deps/pinecone.npm) against the local service's current API: the
// client creates a serverless index, upserts, queries with a filter, fetches,
// updates, deletes, lists ids and namespaces, reads the statistics, protects
// the index from deletion and lifts it again, and deletes the index, and
// each answer must be what the client expects. The local service presents
// the test PKI's "localhost" certificate, which the client trusts through
// NODE_EXTRA_CA_CERTS.
#include "tools/pinecone-local/pinecone_local.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "tests/net/test_pki.h"

namespace zor {
namespace {

const std::string kPeer = std::string(ZOR_SOURCE_DIR) + "/tests/interop/pinecone/ts_client_peer.mjs";

// Runs the peer to its end; its lines by step, and whether it exited with 0.
std::map<std::string, std::string> RunPeer(const std::string& environment, bool& succeeded) {
  FILE* pipe = popen((environment + " node " + kPeer + " 2>&1").c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot start node");
  std::map<std::string, std::string> steps;
  std::string output, line;
  for (int c; (c = fgetc(pipe)) != EOF;) {
    output += static_cast<char>(c);
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    const size_t space = line.find(' ');
    steps[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    line.clear();
  }
  succeeded = pclose(pipe) == 0;
  if (!succeeded) ADD_FAILURE() << output;
  return steps;
}

TEST(TypeScriptClient, WholeIndexLifeAgainstTheLocalService) {
  test::TestPKI pki;
  TzorPineconeLocal service;
  service.Start("ts-key", 0, pki.ServerCertFile(), pki.ServerKeyFile());
  bool succeeded = false;
  auto steps = RunPeer("NODE_EXTRA_CA_CERTS=" + pki.CAFile() + " PINECONE_API_KEY=ts-key PINECONE_LOCAL_PORT=" +
                           std::to_string(service.Port()),
                       succeeded);
  EXPECT_TRUE(succeeded);
  EXPECT_EQ(steps["create"],
            R"({"name":"ts-index","dimension":2,"metric":"cosine","host":"ts-index-local.svc.us-east-1-aws.pinecone.io",)"
            R"("ready":true,"cloud":"aws","region":"us-east-1"})");
  EXPECT_EQ(steps["upsert"], R"("done")");
  // Cosine scores of [1,0] against the two drama records; "b" is filtered out.
  EXPECT_EQ(steps["query"], R"([["a",1,{"genre":"drama"}],["c",0.7071,{"genre":"drama","year":2020}]])");
  EXPECT_EQ(steps["fetch"], R"({"a":[1,0],"b":[0,1]})");
  EXPECT_EQ(steps["update"], R"({"values":[0.5,0.5],"metadata":{"genre":"drama"}})");
  EXPECT_EQ(steps["delete"], R"(["b","c"])");
  EXPECT_EQ(steps["list"], R"(["b","c"])");
  EXPECT_EQ(steps["stats"], R"({"dimension":2,"total":2,"namespaces":{"__default__":{"recordCount":2}}})");
  EXPECT_EQ(steps["namespaces"], R"({"listed":[["__default__",2]],"described":["__default__",2]})");
  // The client reports the service's 403 for a protected index as a bad request.
  EXPECT_EQ(steps["protect"], R"({"enabled":"enabled","refused":"PineconeBadRequestError: true","disabled":"disabled"})");
  EXPECT_EQ(steps["delete-index"], "[]");
}

TEST(TypeScriptClient, WrongKeyIsReportedAsTheClientsAuthorizationError) {
  test::TestPKI pki;
  TzorPineconeLocal service;
  service.Start("right-key", 0, pki.ServerCertFile(), pki.ServerKeyFile());
  bool succeeded = true;
  auto steps = [&] {
    ::testing::ScopedTrace trace(__FILE__, __LINE__, "a failing peer is expected here");
    FILE* pipe = popen(("NODE_EXTRA_CA_CERTS=" + pki.CAFile() + " PINECONE_API_KEY=wrong PINECONE_LOCAL_PORT=" +
                        std::to_string(service.Port()) + " node " + kPeer + " 2>&1")
                           .c_str(),
                       "r");
    std::string output;
    for (int c; (c = fgetc(pipe)) != EOF;) output += static_cast<char>(c);
    succeeded = pclose(pipe) == 0;
    return output;
  }();
  EXPECT_FALSE(succeeded);
  EXPECT_EQ(steps.rfind("error create PineconeAuthorizationError", 0), 0u) << steps;
}

}  // namespace
}  // namespace zor
