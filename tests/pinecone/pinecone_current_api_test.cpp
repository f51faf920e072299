// The current-API component against a recording server: every operation's
// request line, whole header block and body, byte for byte.
#include "pinecone/pinecone_current_api.h"

#include <gtest/gtest.h>

#include "tests/pinecone/recorded_request.h"
#include "tools/pinecone-local/pinecone_local.h"

namespace zor {
namespace {

using testing::CannedAnswer;
using testing::HeaderLines;
using testing::Lines;
using testing::RequestLine;

constexpr const char* kController = "api.pinecone.io";
constexpr const char* kIndexHost = "idx-abc1234.svc.aped-4627.pinecone.io";
const std::string kDescription =
    std::string(R"({"name":"idx","dimension":2,"metric":"cosine","host":")") + kIndexHost + R"(","status":{"ready":true}})";

class CurrentComponent : public ::testing::Test {
 protected:
  CurrentComponent() {
    pinecone_.ConnectTo().push_back({"", 443, "127.0.0.1", server_.Port()});
    pinecone_.PineconeOptions().SetApiKey("key");
  }

  // The whole header block a request of `verb` carries to `host` with a body
  // of `body_size` bytes.
  static Lines Headers(TzorPineconeVerb verb, const std::string& host, size_t body_size) {
    Lines lines{"Host: " + host};
    const bool has_body = verb == TzorPineconeVerb::Post || verb == TzorPineconeVerb::Patch;
    if (has_body) lines.push_back("Content-Length: " + std::to_string(body_size));
    lines.insert(lines.end(), {"User-Agent: Mozilla/5.0 (zorWebSockets 2023.6.0)", "Api-Key: key",
                               "X-Pinecone-API-Version: 2026-04", "accept: application/json"});
    if (has_body) lines.push_back("content-type: application/json");
    return lines;
  }

  // The `back`-th request from the end went out as `request_line` to `host`
  // with exactly the header block of its verb, and carried `body`.
  void ExpectRequest(const std::string& request_line, const std::string& host, const std::string& body,
                     size_t back = 1) {
    ASSERT_GE(server_.Requests().size(), back);
    const auto request = server_.Requests()[server_.Requests().size() - back];
    EXPECT_EQ(RequestLine(request.head), request_line);
    const std::string verb = request_line.substr(0, request_line.find(' '));
    const TzorPineconeVerb kind = verb == "GET"      ? TzorPineconeVerb::Get
                                  : verb == "POST"   ? TzorPineconeVerb::Post
                                  : verb == "DELETE" ? TzorPineconeVerb::Delete
                                                     : TzorPineconeVerb::Patch;
    EXPECT_EQ(HeaderLines(request.head), Headers(kind, host, body.size())) << request.head;
    EXPECT_EQ(request.body, body);
  }

  size_t RequestCount() const { return server_.Requests().size(); }

  CannedAnswer answer_;
  // Describe-index is answered with the index's host, everything else with
  // the canned answer.
  testing::LocalServer server_{true, [this](const testing::LocalServer::Request& request, bool& close) {
                                 close = true;
                                 if (RequestLine(request.head).starts_with("GET /indexes/idx ")) {
                                   return testing::Answer("200 OK", kDescription, "Content-Type: application/json\r\n");
                                 }
                                 return answer_.Get();
                               }};
  TzorHTTP_API_PineconeCurrent pinecone_;
};

TEST_F(CurrentComponent, IndexOperationsOnTheControlPlane) {
  answer_.Set("200 OK", R"({"indexes":[]})");
  EXPECT_EQ(pinecone_.IndexesList(), R"({"indexes":[]})");
  ExpectRequest("GET /indexes HTTP/1.1", kController, "");

  TzorHTTPPineconeCreateIndexRequest serverless;
  serverless.SetName("zorindex");
  serverless.SetDimension(1536);
  serverless.SetMetric("cosine");
  serverless.SetCloud("aws");
  serverless.SetRegion("us-east-1");
  pinecone_.IndexCreate(serverless);
  ExpectRequest("POST /indexes HTTP/1.1", kController,
                R"({"name":"zorindex","dimension":1536,"metric":"cosine","spec":{"serverless":{"cloud":"aws","region":"us-east-1"}}})");

  TzorHTTPPineconeCreateIndexRequest pod;
  pod.SetName("podindex");
  pod.SetDimension(8);
  pod.SetDeletionProtection("enabled");
  pod.Tags() = {"team=search"};
  pod.SetEnvironment("us-east-1-aws");
  pod.SetPodType("p1.x1");
  pod.SetPods(1);
  pod.SetReplicas(2);
  pod.SetSourceCollection("col");
  pinecone_.IndexCreate(pod);
  ExpectRequest("POST /indexes HTTP/1.1", kController,
                R"({"name":"podindex","dimension":8,"deletion_protection":"enabled","tags":{"team":"search"},)"
                R"("spec":{"pod":{"environment":"us-east-1-aws","pod_type":"p1.x1","pods":1,"replicas":2,"source_collection":"col"}}})");

  TzorHTTPPineconeCreateIndexRequest sparse;
  sparse.SetName("sparse");
  sparse.SetVectorType("sparse");
  sparse.SetMetric("dotproduct");
  pinecone_.IndexCreate(sparse);
  ExpectRequest("POST /indexes HTTP/1.1", kController,
                R"({"name":"sparse","metric":"dotproduct","vector_type":"sparse","spec":{"serverless":{"cloud":"","region":""}}})");

  EXPECT_EQ(pinecone_.IndexDescribe("idx"), kDescription);
  ExpectRequest("GET /indexes/idx HTTP/1.1", kController, "");

  TzorHTTPPineconeConfigureIndexRequest configure;
  configure.SetReplicas(3);
  configure.SetPodType("s1.x2");
  pinecone_.IndexConfigure("podindex", configure);
  ExpectRequest("PATCH /indexes/podindex HTTP/1.1", kController, R"({"spec":{"pod":{"replicas":3,"pod_type":"s1.x2"}}})");
  TzorHTTPPineconeConfigureIndexRequest protect;
  protect.SetDeletionProtection("disabled");
  pinecone_.IndexConfigure("podindex", protect);
  ExpectRequest("PATCH /indexes/podindex HTTP/1.1", kController, R"({"deletion_protection":"disabled"})");

  answer_.Set("202 Accepted", "");
  EXPECT_EQ(pinecone_.IndexDelete("podindex"), "");
  ExpectRequest("DELETE /indexes/podindex HTTP/1.1", kController, "");
}

TEST_F(CurrentComponent, CollectionOperationsOnTheControlPlane) {
  pinecone_.CollectionsList();
  ExpectRequest("GET /collections HTTP/1.1", kController, "");
  pinecone_.CollectionCreate("col", "idx");
  ExpectRequest("POST /collections HTTP/1.1", kController, R"({"name":"col","source":"idx"})");
  pinecone_.CollectionDescribe("col");
  ExpectRequest("GET /collections/col HTTP/1.1", kController, "");
  pinecone_.CollectionDelete("col");
  ExpectRequest("DELETE /collections/col HTTP/1.1", kController, "");
}

TEST_F(CurrentComponent, VectorOperationsGoToTheDescribedHost) {
  // The first data-plane call describes the index to learn its host.
  pinecone_.VectorsDescribeIndexStats("idx", nullptr);
  ASSERT_EQ(RequestCount(), 2u);
  ExpectRequest("GET /indexes/idx HTTP/1.1", kController, "", 2);
  ExpectRequest("POST /describe_index_stats HTTP/1.1", kIndexHost, "{}");
  const TzorPineconeStringList filter{"genre=drama"};
  pinecone_.VectorsDescribeIndexStats("idx", &filter);
  ExpectRequest("POST /describe_index_stats HTTP/1.1", kIndexHost, R"({"filter":{"genre":"drama"}})");

  TzorHTTPPineconeVectorQuery query;
  query.SetVector({0.1, 0.2});
  query.SetTopK(3);
  query.Filter() = {R"(genre={"$eq":"drama"})"};
  query.SetIncludeMetadata(true);
  pinecone_.VectorsQuery("idx", query);
  ExpectRequest("POST /query HTTP/1.1", kIndexHost,
                R"({"topK":3,"filter":{"genre":{"$eq":"drama"}},"includeMetadata":true,"vector":[0.1,0.2]})");

  pinecone_.VectorsFetch("idx", {"a b", "c"}, "ns");
  ExpectRequest("GET /vectors/fetch?ids=a%20b&ids=c&namespace=ns HTTP/1.1", kIndexHost, "");

  TzorHTTPPineconeVectorUpdate update;
  update.SetId("a");
  update.SetValues({1, 2});
  pinecone_.VectorsUpdate("idx", update);
  ExpectRequest("POST /vectors/update HTTP/1.1", kIndexHost, R"({"id":"a","values":[1,2]})");

  TzorHTTPPineconeVectorUpserts upserts;
  auto vector = std::make_unique<TzorHTTPPineconeVectorUpsert>();
  vector->SetId("a");
  vector->SetValues({0.5, 1});
  vector->Metadata() = {"genre=drama"};
  upserts.AddVector(std::move(vector));
  pinecone_.VectorsUpsert("idx", upserts);
  ExpectRequest("POST /vectors/upsert HTTP/1.1", kIndexHost,
                R"({"vectors": [{"id":"a","values":[0.5,1],"metadata":{"genre":"drama"}}]})");

  TzorHTTPPineconeVectorDelete del;
  del.Ids() = {"a"};
  del.SetNamespace("ns");
  pinecone_.VectorsDelete("idx", del);
  ExpectRequest("POST /vectors/delete HTTP/1.1", kIndexHost, R"({"ids":["a"],"namespace":"ns"})");

  pinecone_.VectorsList("idx", "doc#", 10, "tok/en", "ns");
  ExpectRequest("GET /vectors/list?prefix=doc%23&limit=10&paginationToken=tok%2Fen&namespace=ns HTTP/1.1", kIndexHost, "");
  pinecone_.VectorsList("idx", "", 0, "", "");
  ExpectRequest("GET /vectors/list HTTP/1.1", kIndexHost, "");

  pinecone_.NamespacesList("idx");
  ExpectRequest("GET /namespaces HTTP/1.1", kIndexHost, "");
  pinecone_.NamespaceDescribe("idx", "a b");
  ExpectRequest("GET /namespaces/a%20b HTTP/1.1", kIndexHost, "");
  pinecone_.NamespaceDelete("idx", "ns");
  ExpectRequest("DELETE /namespaces/ns HTTP/1.1", kIndexHost, "");

  // The host was described once and remembered for every call since.
  EXPECT_EQ(RequestCount(), 13u);
}

TEST_F(CurrentComponent, HostIsForgottenWithItsIndex) {
  pinecone_.SetIndexHost("idx", "https://elsewhere.pinecone.io");
  pinecone_.NamespacesList("idx");
  ExpectRequest("GET /namespaces HTTP/1.1", "elsewhere.pinecone.io", "");

  // After a delete the next data-plane call describes the index again.
  pinecone_.IndexDelete("idx");
  pinecone_.NamespacesList("idx");
  ExpectRequest("GET /indexes/idx HTTP/1.1", kController, "", 2);
  ExpectRequest("GET /namespaces HTTP/1.1", kIndexHost, "");
}

TEST_F(CurrentComponent, IndexWithoutHostFailsBeforeAnyDataRequest) {
  answer_.Set("200 OK", R"({"name":"other","status":{"ready":false}})");
  try {
    pinecone_.NamespacesList("other");
    FAIL() << "no error raised";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "The index 'other' has no host yet");
  }
  EXPECT_EQ(RequestCount(), 1u);

  // With the error event assigned, the event gets the failure instead.
  std::vector<std::string> reported;
  pinecone_.OnHTTPAPIException = [&](TzorComponent_Base*, const std::exception& e) { reported.push_back(e.what()); };
  EXPECT_EQ(pinecone_.NamespacesList("other"), "");
  EXPECT_EQ(reported, std::vector<std::string>{"The index 'other' has no host yet"});
}

TEST_F(CurrentComponent, ErrorsCarryTheServiceBody) {
  const std::string body = R"({"error":{"code":"NOT_FOUND","message":"Resource other not found"},"status":404})";
  answer_.Set("404 Not Found", body);
  try {
    pinecone_.IndexDescribe("other");
    FAIL() << "no error raised";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "HTTP/1.1 404 Not Found. " + body);
  }
  // A failed describe leaves no host behind: the data plane asks again.
  EXPECT_ANY_THROW(pinecone_.NamespacesList("other"));
  ExpectRequest("GET /indexes/other HTTP/1.1", kController, "");
}

TEST(CurrentComponentAgainstLocalService, DeleteByPrefixWalksEveryPage) {
  TzorPineconeLocal service;
  service.Start("key");
  TzorHTTP_API_PineconeCurrent pinecone;
  pinecone.ConnectTo().push_back({"", 443, "127.0.0.1", service.Port()});
  pinecone.PineconeOptions().SetApiKey("key");
  TzorHTTPPineconeCreateIndexRequest create;
  create.SetName("idx");
  create.SetDimension(1);
  create.SetCloud("aws");
  create.SetRegion("us-east-1");
  pinecone.IndexCreate(create);
  // 250 ids of the prefix take three pages of the service's 100.
  TzorHTTPPineconeVectorUpserts upserts;
  upserts.SetNamespace("ns");
  for (int i = 0; i < 252; ++i) {
    auto vector = std::make_unique<TzorHTTPPineconeVectorUpsert>();
    vector->SetId(i < 250 ? "doc#" + std::to_string(1000 + i) : "keep" + std::to_string(i));
    vector->SetValues({1});
    upserts.AddVector(std::move(vector));
  }
  pinecone.VectorsUpsert("idx", upserts);

  EXPECT_EQ(pinecone.VectorsDeleteByPrefix("idx", "doc#", "ns"), R"({"deletedCount":250})");
  EXPECT_EQ(pinecone.VectorsList("idx", "", 0, "", "ns"),
            R"({"vectors":[{"id":"keep250"},{"id":"keep251"}],"namespace":"ns","usage":{"readUnits":1}})");
  EXPECT_EQ(pinecone.VectorsDeleteByPrefix("idx", "doc#", "ns"), R"({"deletedCount":0})");
  EXPECT_THROW(pinecone.VectorsDeleteByPrefix("idx", "", "ns"), Exception);
}

}  // namespace
}  // namespace zor
