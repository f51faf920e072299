#include "tools/pinecone-local/local_routes.h"

#include <gtest/gtest.h>

namespace zor::pinecone_local {
namespace {

constexpr const char* kController = "controller.test-env.pinecone.io";
constexpr const char* kData = "idx-proj.svc.test-env.pinecone.io";

class LocalService : public ::testing::Test {
 protected:
  Reply Call(const std::string& method, const std::string& host, const std::string& target, const std::string& body = "",
             const std::string& key = "secret") {
    return service_.Handle({method, host, target, true, key, body, ""});
  }
  Reply Control(const std::string& method, const std::string& target, const std::string& body = "") {
    return Call(method, kController, target, body);
  }
  Reply Data(const std::string& target, const std::string& body) { return Call("POST", kData, target, body); }

  void CreateIndex(const std::string& metric) {
    ASSERT_EQ(Control("POST", "/databases", R"({"name":"idx","dimension":2,"metric":")" + metric + "\"}").status, 201);
    const Reply upsert = Data("/vectors/upsert", R"({"vectors": [)"
                                                 R"({"id":"east","values":[1,0],"metadata":{"genre":"drama","year":2020}},)"
                                                 R"({"id":"north","values":[0,2],"metadata":{"genre":"comedy","tags":["x","y"]}},)"
                                                 R"({"id":"far","values":[10,10]}]})");
    ASSERT_EQ(upsert.status, 200);
    ASSERT_EQ(upsert.body, R"({"upsertedCount":3})");
  }

  std::string MatchIds(const Reply& reply) {
    const boost::json::value answer = boost::json::parse(reply.body);
    std::string ids;
    for (const auto& match : answer.at("matches").as_array()) ids += std::string(match.at("id").as_string()) + " ";
    return ids;
  }

  Service service_{"secret"};
};

TEST_F(LocalService, KeyIsRequired) {
  EXPECT_EQ(Call("GET", kController, "/databases", "", "wrong").status, 401);
  EXPECT_EQ(service_.Handle({"GET", kController, "/databases", false, "", "", ""}).status, 401);
  const Reply ok = Control("GET", "/databases");
  EXPECT_EQ(ok.status, 200);
  EXPECT_EQ(ok.body, "[]");
}

TEST_F(LocalService, IndexLifecycle) {
  EXPECT_EQ(Control("POST", "/databases", R"({"name":"b-idx","dimension":3})").status, 201);
  EXPECT_EQ(Control("POST", "/databases", R"({"name":"a-idx","dimension":3,"metric":"euclidean","pods":2,"replicas":3,)"
                                          R"("pod_type":"s1.x2","metadata_config":{"indexed":["genre"]}})")
                .status,
            201);
  EXPECT_EQ(Control("GET", "/databases").body, R"(["a-idx","b-idx"])");
  EXPECT_EQ(Control("GET", "/databases/a-idx").body,
            R"({"database":{"name":"a-idx","metric":"euclidean","dimension":3,"replicas":3,"shards":1,"pods":2,)"
            R"("pod_type":"s1.x2","metadata_config":{"indexed":["genre"]}},"status":{"waiting":[],"crashed":[],)"
            R"("host":"a-idx-local.svc.test-env.pinecone.io","port":433,"state":"Ready","ready":true}})");

  EXPECT_EQ(Control("PATCH", "/databases/a-idx", R"({"replicas":1,"pod_type":""})").status, 202);
  const auto described = boost::json::parse(Control("GET", "/databases/a-idx").body);
  EXPECT_EQ(described.at("database").at("replicas").as_int64(), 1);
  EXPECT_EQ(described.at("database").at("pod_type").as_string(), "s1.x2");

  const Reply duplicate = Control("POST", "/databases", R"({"name":"a-idx","dimension":3})");
  EXPECT_EQ(duplicate.status, 409);
  EXPECT_EQ(duplicate.body, R"({"code":6,"message":"Index 'a-idx' already exists","details":[]})");
  EXPECT_EQ(Control("DELETE", "/databases/a-idx").status, 202);
  EXPECT_EQ(Control("DELETE", "/databases/a-idx").status, 404);
  EXPECT_EQ(Control("GET", "/databases/").status, 404);
  EXPECT_EQ(Control("GET", "/databases").body, R"(["b-idx"])");
}

TEST_F(LocalService, BadRequestsAreRefused) {
  for (const char* body : {R"({"name":"Bad_Name","dimension":3})", R"({"name":"x","dimension":0})",
                           R"({"name":"x","dimension":3,"metric":"manhattan"})", R"({"dimension":3})", "not json",
                           R"({"name":"x","dimension":"3"})", R"({"name":"x","dimension":3,"source_collection":"none"})"}) {
    const int status = Control("POST", "/databases", body).status;
    EXPECT_TRUE(status == 400 || status == 404) << body << " gave " << status;
  }
  EXPECT_EQ(Control("GET", "/databases").body, "[]");
  EXPECT_EQ(Call("GET", "example.com", "/databases").status, 404);
  EXPECT_EQ(Data("/query", R"({"topK":1,"vector":[1,0]})").status, 404) << "no such index yet";

  CreateIndex("cosine");
  EXPECT_EQ(Data("/query", R"({"topK":0,"vector":[1,0]})").status, 400);
  EXPECT_EQ(Data("/query", R"({"topK":1,"vector":[1,0,0]})").status, 400);
  EXPECT_EQ(Data("/query", R"({"topK":1})").status, 400);
  EXPECT_EQ(Data("/query", R"({"topK":1,"vector":[1,0],"filter":{"genre":{"$regex":"x"}}})").status, 400);
  EXPECT_EQ(Data("/vectors/upsert", R"({"vectors":[{"id":"ok","values":[1,1]},{"id":"bad","values":[1]}]})").status, 400);
  EXPECT_EQ(Data("/vectors/delete", "{}").status, 400);
  EXPECT_EQ(Call("GET", kData, "/vectors/fetch").status, 400);
  EXPECT_EQ(Data("/vectors/update", R"({"id":"missing","values":[1,1]})").status, 404);
  // The refused upsert stored nothing.
  EXPECT_EQ(Data("/describe_index_stats", "").body,
            R"({"namespaces":{"":{"vectorCount":3}},"dimension":2,"indexFullness":0,"totalVectorCount":3})");
}

TEST_F(LocalService, QueryRanksByTheIndexMetric) {
  CreateIndex("cosine");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":3,"vector":[1,0.1]})")), "east far north ");
  const Reply best = Data("/query", R"({"topK":1,"vector":[3,0],"includeValues":true,"includeMetadata":true})");
  EXPECT_EQ(best.body, R"({"results":[],"matches":[{"id":"east","score":1,"values":[1,0],)"
                       R"("metadata":{"genre":"drama","year":2020}}],"namespace":""})");
  EXPECT_EQ(Data("/query", R"({"topK":1,"vector":[3,0]})").body,
            R"({"results":[],"matches":[{"id":"east","score":1,"values":[]}],"namespace":""})");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":2,"id":"north"})")), "north far ");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":2,"id":"nobody"})")), "");
}

TEST_F(LocalService, EuclideanAndDotProduct) {
  CreateIndex("euclidean");
  // Squared distances from (9,9): far 2, north 130, east 145.
  const auto answer = boost::json::parse(Data("/query", R"({"topK":3,"vector":[9,9]})").body);
  EXPECT_EQ(answer.at("matches").at(0).at("id").as_string(), "far");
  EXPECT_EQ(answer.at("matches").at(0).at("score").to_number<double>(), 2);
  EXPECT_EQ(answer.at("matches").at(2).at("id").as_string(), "east");
  ASSERT_EQ(Control("DELETE", "/databases/idx").status, 202);

  CreateIndex("dotproduct");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":3,"vector":[0,1]})")), "far north east ");
  EXPECT_EQ(Data("/vectors/upsert", R"({"vectors":[{"id":"s","values":[0,0],"sparseValues":{"indices":[7],"values":[5]}}]})").status,
            200);
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":1,"vector":[0,0],"sparseVector":{"indices":[7],"values":[1]}})")), "s ");
}

TEST_F(LocalService, FiltersAndNamespaces) {
  CreateIndex("cosine");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":3,"vector":[1,0],"filter":{"genre":"comedy"}})")), "north ");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":3,"vector":[1,0],"filter":{"year":{"$eq":2020.0}}})")), "east ");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":3,"vector":[1,0],"filter":{"tags":"y"}})")), "north ");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":3,"vector":[1,0],"filter":{"genre":{"$in":["drama","comedy"]}}})")),
            "east north ");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":3,"vector":[1,0],"filter":{"genre":{"$ne":"drama"}}})")), "far north ");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":3,"vector":[1,0],"filter":{"$or":[{"genre":"drama"},{"tags":"x"}]}})")),
            "east north ");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":3,"vector":[1,0],"filter":{"year":"2020"}})")), "")
      << "a string does not equal a number";

  EXPECT_EQ(Data("/vectors/upsert", R"({"vectors": [{"id":"east","values":[5,5]}],"namespace": "ns"})").status, 200);
  EXPECT_EQ(Data("/describe_index_stats", "{}").body,
            R"({"namespaces":{"":{"vectorCount":3},"ns":{"vectorCount":1}},"dimension":2,"indexFullness":0,"totalVectorCount":4})");
  EXPECT_EQ(Data("/describe_index_stats", R"({"filter":{"genre":"drama"}})").body,
            R"({"namespaces":{"":{"vectorCount":1}},"dimension":2,"indexFullness":0,"totalVectorCount":1})");
  EXPECT_EQ(Data("/query", R"({"namespace":"ns","topK":5,"vector":[1,0],"includeValues":true})").body,
            R"({"results":[],"matches":[{"id":"east","score":0.7071067811865475,"values":[5,5]}],"namespace":"ns"})");
}

TEST_F(LocalService, FetchUpdateDelete) {
  CreateIndex("cosine");
  EXPECT_EQ(Call("GET", kData, "/vectors/fetch?ids=east&ids=nobody&ids=far").body,
            R"({"vectors":{"east":{"id":"east","values":[1,0],"metadata":{"genre":"drama","year":2020}},)"
            R"("far":{"id":"far","values":[10,10]}},"namespace":""})");
  EXPECT_EQ(Data("/vectors/upsert", R"({"vectors": [{"id":"a b","values":[0.5,0.25]},{"id":"x/y:z","values":[1,2]}],"namespace": "n s"})").status,
            200);
  EXPECT_EQ(Call("GET", kData, "/vectors/fetch?ids=a%20b&ids=x%2Fy%3Az&namespace=n%20s").body,
            R"({"vectors":{"a b":{"id":"a b","values":[0.5,0.25]},"x/y:z":{"id":"x/y:z","values":[1,2]}},"namespace":"n s"})");

  EXPECT_EQ(Data("/vectors/update", R"({"id":"east","values":[0,3],"setMetadata":{"genre":"noir","new":true}})").body, "{}");
  EXPECT_EQ(Call("GET", kData, "/vectors/fetch?ids=east").body,
            R"({"vectors":{"east":{"id":"east","values":[0,3],"metadata":{"genre":"noir","year":2020,"new":true}}},"namespace":""})");
  EXPECT_EQ(MatchIds(Data("/query", R"({"topK":1,"vector":[0,1]})")), "east ") << "the new values are searched";

  EXPECT_EQ(Data("/vectors/delete", R"({"ids":["east"]})").body, "{}");
  EXPECT_EQ(Data("/vectors/delete", R"({"filter":{"genre":"comedy"}})").status, 200);
  EXPECT_EQ(Call("GET", kData, "/vectors/fetch?ids=east&ids=north&ids=far").body,
            R"({"vectors":{"far":{"id":"far","values":[10,10]}},"namespace":""})");
  EXPECT_EQ(Data("/vectors/delete", R"({"deleteAll":true,"namespace":"n s"})").status, 200);
  EXPECT_EQ(Data("/describe_index_stats", "").body,
            R"({"namespaces":{"":{"vectorCount":1}},"dimension":2,"indexFullness":0,"totalVectorCount":1})");
}

TEST_F(LocalService, CollectionsCopyAnIndex) {
  CreateIndex("cosine");
  EXPECT_EQ(Control("POST", "/collections", R"({"name":"snap","source":"idx"})").status, 201);
  EXPECT_EQ(Control("POST", "/collections", R"({"name":"snap","source":"idx"})").status, 409);
  EXPECT_EQ(Control("POST", "/collections", R"({"name":"other","source":"nope"})").status, 404);
  EXPECT_EQ(Control("POST", "/collections", R"({"name":"","source":"idx"})").status, 400);
  EXPECT_EQ(Control("GET", "/collections").body, R"(["snap"])");
  EXPECT_EQ(Control("GET", "/collections/snap").body,
            R"({"name":"snap","size":24,"status":"Ready","dimension":2,"vector_count":3,"environment":"test-env"})");

  // An index made from the collection holds its vectors; later changes to
  // the source do not reach the collection.
  ASSERT_EQ(Data("/vectors/delete", R"({"deleteAll":true})").status, 200);
  ASSERT_EQ(Control("POST", "/databases", R"({"name":"restored","dimension":2,"source_collection":"snap"})").status, 201);
  EXPECT_EQ(Call("POST", "restored-proj.svc.test-env.pinecone.io", "/describe_index_stats", "").body,
            R"({"namespaces":{"":{"vectorCount":3}},"dimension":2,"indexFullness":0,"totalVectorCount":3})");
  EXPECT_EQ(Control("POST", "/databases", R"({"name":"wrong-dim","dimension":3,"source_collection":"snap"})").status, 400);
  EXPECT_EQ(Control("DELETE", "/collections/snap").status, 202);
  EXPECT_EQ(Control("GET", "/collections/snap").status, 404);
}

TEST_F(LocalService, HostsPickTheLongestIndexName) {
  ASSERT_EQ(Control("POST", "/databases", R"({"name":"a","dimension":1})").status, 201);
  ASSERT_EQ(Control("POST", "/databases", R"({"name":"a-b","dimension":2})").status, 201);
  auto dimension_at = [&](const std::string& host) {
    return boost::json::parse(Call("POST", host, "/describe_index_stats", "").body).at("dimension").as_int64();
  };
  EXPECT_EQ(dimension_at("a-b-proj.svc.e.pinecone.io"), 2);
  EXPECT_EQ(dimension_at("a-proj.svc.e.pinecone.io"), 1);
  EXPECT_EQ(dimension_at("A-PROJ.svc.E.pinecone.io:443"), 1);
  EXPECT_EQ(Call("POST", "a-.svc.e.pinecone.io", "/describe_index_stats", "").status, 404);
}

TEST(LocalServiceText, Numbers) {
  EXPECT_EQ(JsonText(boost::json::parse(R"({"a":[0.1,1e300,-2,"\"q\""]})")), R"({"a":[0.1,1e+300,-2,"\"q\""]})");
}

TEST_F(LocalService, PathsArePercentDecodedAndBadEscapesStayAsSent) {
  ASSERT_EQ(Control("POST", "/databases", R"({"name":"a-idx","dimension":3})").status, 201);
  EXPECT_EQ(Control("GET", "/databases/%61%2Didx").status, 200);
  EXPECT_EQ(Control("GET", "/databases/%61%2didx%zz").status, 404);
}

}  // namespace
}  // namespace zor::pinecone_local
