// The local service's current API: the global control plane, index hosts
// that lead to the shared data plane, listings, and the current error shape.
#include "tools/pinecone-local/local_routes.h"

#include <gtest/gtest.h>

namespace zor::pinecone_local {
namespace {

constexpr const char* kApi = "api.pinecone.io";

class CurrentApi : public ::testing::Test {
 protected:
  // A request of a current-API client (with the version line), or of a
  // legacy one when `version` is empty.
  Reply Call(const std::string& method, const std::string& host, const std::string& target, const std::string& body = "",
             const std::string& key = "secret", const std::string& version = "2026-04") {
    return service_.Handle({method, host, target, true, key, body, version});
  }
  Reply Control(const std::string& method, const std::string& target, const std::string& body = "") {
    return Call(method, kApi, target, body);
  }
  // The host describe-index reports for `name`.
  std::string Host(const std::string& name) {
    return std::string(boost::json::parse(Control("GET", "/indexes/" + name).body).at("host").as_string());
  }

  Service service_{"secret"};
};

TEST_F(CurrentApi, ServerlessIndexLifecycle) {
  const Reply created = Control("POST", "/indexes",
                                R"({"name":"idx","dimension":2,"metric":"dotproduct","tags":{"team":"a"},)"
                                R"("spec":{"serverless":{"cloud":"aws","region":"us-east-1"}}})");
  ASSERT_EQ(created.status, 201) << created.body;
  const std::string model =
      R"({"name":"idx","metric":"dotproduct","host":"idx-local.svc.us-east-1-aws.pinecone.io",)"
      R"("deletion_protection":"disabled","dimension":2,"tags":{"team":"a"},)"
      R"("spec":{"serverless":{"cloud":"aws","region":"us-east-1","read_capacity":{"mode":"OnDemand","status":{"state":"Ready"}}}},)"
      R"("status":{"ready":true,"state":"Ready"},"vector_type":"dense"})";
  EXPECT_EQ(created.body, model);
  EXPECT_EQ(Control("GET", "/indexes/idx").body, model);
  EXPECT_EQ(Control("GET", "/indexes").body, "{\"indexes\":[" + model + "]}");

  // The reported host reaches the index's data.
  const std::string host = Host("idx");
  EXPECT_EQ(Call("POST", host, "/vectors/upsert", R"({"vectors":[{"id":"a","values":[1,2]}]})").body, R"({"upsertedCount":1})");
  EXPECT_EQ(Call("POST", host, "/describe_index_stats", "{}").body,
            R"({"namespaces":{"__default__":{"vectorCount":1}},"dimension":2,"indexFullness":0,"totalVectorCount":1})");
  // The default namespace is "" to the legacy API.
  EXPECT_EQ(Call("POST", host, "/describe_index_stats", "", "secret", "").body,
            R"({"namespaces":{"":{"vectorCount":1}},"dimension":2,"indexFullness":0,"totalVectorCount":1})");

  // Protected indexes refuse deletion until the protection is lifted.
  EXPECT_EQ(Control("PATCH", "/indexes/idx", R"({"deletion_protection":"enabled","tags":{"team":""}})").status, 202);
  const Reply refused = Control("DELETE", "/indexes/idx");
  EXPECT_EQ(refused.status, 403);
  EXPECT_NE(refused.body.find(R"("code":"FORBIDDEN")"), std::string::npos) << refused.body;
  const Reply lifted = Control("PATCH", "/indexes/idx", R"({"deletion_protection":"disabled"})");
  EXPECT_EQ(lifted.body.find("tags"), std::string::npos) << lifted.body;
  EXPECT_EQ(Control("DELETE", "/indexes/idx").status, 202);
  EXPECT_EQ(Control("GET", "/indexes").body, R"({"indexes":[]})");
}

TEST_F(CurrentApi, PodIndexesAndTheirConfiguration) {
  ASSERT_EQ(Control("POST", "/indexes",
                    R"({"name":"pod","dimension":3,"spec":{"pod":{"environment":"us-east1-gcp","pod_type":"p1.x1","replicas":2}}})")
                .status,
            201);
  const Reply configured = Control("PATCH", "/indexes/pod", R"({"spec":{"pod":{"replicas":3,"pod_type":"s1.x2"}}})");
  EXPECT_EQ(configured.status, 202);
  EXPECT_NE(configured.body.find(R"("pod":{"environment":"us-east1-gcp","replicas":3,"shards":1,"pod_type":"s1.x2","pods":1})"),
            std::string::npos)
      << configured.body;
  EXPECT_EQ(Host("pod"), "pod-local.svc.us-east1-gcp.pinecone.io");
  // The legacy API sees the same index.
  EXPECT_EQ(Call("GET", "controller.us-east1-gcp.pinecone.io", "/databases").body, R"(["pod"])");

  ASSERT_EQ(Control("POST", "/indexes", R"({"name":"sls","dimension":3,"spec":{"serverless":{"cloud":"gcp","region":"x"}}})").status, 201);
  EXPECT_EQ(Control("PATCH", "/indexes/sls", R"({"spec":{"pod":{"replicas":2}}})").status, 400);
  EXPECT_EQ(Control("PATCH", "/indexes/pod", R"({"spec":{"pod":{"replicas":0}}})").status, 400);
}

TEST_F(CurrentApi, CreateIndexIsValidated) {
  const char* bad[] = {
      R"({"name":"x","dimension":2})",                                                           // no spec
      R"({"name":"x","dimension":2,"spec":{}})",                                                 // neither kind
      R"({"name":"x","dimension":2,"spec":{"serverless":{"cloud":"aws"}}})",                     // no region
      R"({"name":"x","dimension":2,"spec":{"pod":{"environment":"e"}}})",                        // no pod type
      R"({"name":"x","spec":{"serverless":{"cloud":"aws","region":"r"}}})",                      // dense without dimension
      R"({"name":"X","dimension":2,"spec":{"serverless":{"cloud":"aws","region":"r"}}})",        // bad name
      R"({"name":"x","vector_type":"sparse","dimension":2,"spec":{"serverless":{"cloud":"aws","region":"r"}}})",
      R"({"name":"x","vector_type":"sparse","metric":"cosine","spec":{"serverless":{"cloud":"aws","region":"r"}}})",
      R"({"name":"x","dimension":2,"deletion_protection":"yes","spec":{"serverless":{"cloud":"aws","region":"r"}}})",
  };
  for (const char* body : bad) {
    const Reply reply = Control("POST", "/indexes", body);
    EXPECT_EQ(reply.status, 400) << body;
    EXPECT_NE(reply.body.find(R"("code":"INVALID_ARGUMENT")"), std::string::npos) << reply.body;
  }
  const Reply sparse =
      Control("POST", "/indexes", R"({"name":"s","vector_type":"sparse","spec":{"serverless":{"cloud":"aws","region":"r"}}})");
  EXPECT_EQ(sparse.status, 201);
  EXPECT_NE(sparse.body.find(R"("metric":"dotproduct")"), std::string::npos);
  EXPECT_EQ(sparse.body.find("dimension"), std::string::npos);
}

TEST_F(CurrentApi, ErrorsHaveTheCurrentShape) {
  EXPECT_EQ(Call("GET", kApi, "/indexes", "", "wrong").body,
            R"({"error":{"code":"UNAUTHENTICATED","message":"Invalid API Key. Please pass a valid key in the Api-Key header"},"status":401})");
  const Reply missing = Control("GET", "/indexes/nope");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.body, R"({"error":{"code":"NOT_FOUND","message":"Index 'nope' not found"},"status":404})");
  const std::string spec = R"("spec":{"serverless":{"cloud":"aws","region":"r"}})";
  ASSERT_EQ(Control("POST", "/indexes", R"({"name":"a","dimension":1,)" + spec + "}").status, 201);
  EXPECT_EQ(Control("POST", "/indexes", R"({"name":"a","dimension":1,)" + spec + "}").status, 409);
  EXPECT_EQ(Control("PUT", "/indexes/a").status, 405);
  EXPECT_EQ(Control("GET", "/elsewhere").status, 404);
}

TEST_F(CurrentApi, Collections) {
  ASSERT_EQ(Control("POST", "/indexes", R"({"name":"src","dimension":2,"spec":{"pod":{"environment":"env","pod_type":"p1.x1"}}})").status,
            201);
  const Reply created = Control("POST", "/collections", R"({"name":"col","source":"src"})");
  EXPECT_EQ(created.status, 201);
  const std::string model = R"({"name":"col","size":0,"status":"Ready","dimension":2,"vector_count":0,"environment":"env"})";
  EXPECT_EQ(created.body, model);
  EXPECT_EQ(Control("GET", "/collections").body, "{\"collections\":[" + model + "]}");
  EXPECT_EQ(Control("GET", "/collections/col").body, model);
  EXPECT_EQ(Control("DELETE", "/collections/col").status, 202);
  EXPECT_EQ(Control("GET", "/collections/col").status, 404);
}

TEST_F(CurrentApi, ListingsArePagedInIdOrder) {
  ASSERT_EQ(Control("POST", "/indexes", R"({"name":"idx","dimension":1,"spec":{"serverless":{"cloud":"aws","region":"r"}}})").status,
            201);
  const std::string host = Host("idx");
  Call("POST", host, "/vectors/upsert",
       R"({"vectors":[{"id":"doc1#b","values":[1]},{"id":"doc1#a","values":[1]},{"id":"doc2#a","values":[1]}],"namespace":"ns"})");
  Call("POST", host, "/vectors/upsert", R"({"vectors":[{"id":"x","values":[1]}],"namespace":"__default__"})");

  EXPECT_EQ(Call("GET", host, "/vectors/list?prefix=doc1%23&limit=1&namespace=ns").body,
            R"({"vectors":[{"id":"doc1#a"}],"pagination":{"next":"doc1#b"},"namespace":"ns","usage":{"readUnits":1}})");
  EXPECT_EQ(Call("GET", host, "/vectors/list?prefix=doc1%23&limit=1&paginationToken=doc1%23b&namespace=ns").body,
            R"({"vectors":[{"id":"doc1#b"}],"namespace":"ns","usage":{"readUnits":1}})");
  EXPECT_EQ(Call("GET", host, "/vectors/list").body,
            R"({"vectors":[{"id":"x"}],"namespace":"__default__","usage":{"readUnits":1}})");
  EXPECT_EQ(Call("POST", host, "/query", R"({"topK":1,"id":"x"})", "secret", "").body,
            R"({"results":[],"matches":[{"id":"x","score":1,"values":[]}],"namespace":""})");
  EXPECT_EQ(Call("GET", host, "/vectors/list?limit=0").status, 400);
  EXPECT_EQ(Call("GET", host, "/vectors/list?limit=abc").status, 400);

  EXPECT_EQ(Call("GET", host, "/namespaces").body,
            R"({"namespaces":[{"name":"__default__","record_count":1},{"name":"ns","record_count":3}],"total_count":2})");
  EXPECT_EQ(Call("GET", host, "/namespaces/__default__").body, R"({"name":"__default__","record_count":1})");
  EXPECT_EQ(Call("GET", host, "/namespaces/ns").body, R"({"name":"ns","record_count":3})");
  EXPECT_EQ(Call("DELETE", host, "/namespaces/ns").status, 200);
  const Reply gone = Call("GET", host, "/namespaces/ns");
  EXPECT_EQ(gone.status, 404);
  // The data plane keeps the shape of its errors in both APIs.
  EXPECT_EQ(gone.body, R"({"code":5,"message":"Namespace 'ns' not found","details":[]})");
  // Deleting the default namespace removes the records upserted without one.
  EXPECT_EQ(Call("DELETE", host, "/namespaces/__default__").status, 200);
  EXPECT_EQ(Call("GET", host, "/namespaces").body, R"({"namespaces":[],"total_count":0})");
}

}  // namespace
}  // namespace zor::pinecone_local
