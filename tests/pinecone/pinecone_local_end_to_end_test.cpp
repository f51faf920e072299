#include <gtest/gtest.h>

#include <boost/json.hpp>

#include "pinecone/pinecone_api.h"
#include "tools/pinecone-local/pinecone_local.h"

namespace zor {
namespace {

namespace json = boost::json;

// The component against the local service, reached under the real host
// names through connect-to.
class PineconeAgainstLocalService : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    service_ = new TzorPineconeLocal;
    service_->Start("local-key");
  }
  static void TearDownTestSuite() {
    delete service_;
    service_ = nullptr;
  }

  PineconeAgainstLocalService() {
    pinecone_.ConnectTo().push_back({"", 443, "127.0.0.1", service_->Port()});
    pinecone_.PineconeOptions().SetApiKey("local-key");
    pinecone_.PineconeOptions().SetEnvironment("offline");
  }

  std::unique_ptr<TzorHTTPPineconeVectorUpsert> Vector(const std::string& id, TzorArrayOfDouble values,
                                                       TzorPineconeStringList metadata = {}) {
    auto vector = std::make_unique<TzorHTTPPineconeVectorUpsert>();
    vector->SetId(id);
    vector->SetValues(std::move(values));
    if (!metadata.empty()) vector->SetMetadata(std::move(metadata));
    return vector;
  }

  static TzorPineconeLocal* service_;
  TzorHTTP_API_Pinecone pinecone_;
  const std::string project_ = TzorPineconeLocal::kProjectId;
};

TzorPineconeLocal* PineconeAgainstLocalService::service_ = nullptr;

TEST_F(PineconeAgainstLocalService, EveryOperation) {
  TzorHTTPPineconeIndexCreate create;
  create.SetName("films");
  create.SetDimension(3);
  create.SetMetric("cosine");
  EXPECT_EQ(pinecone_.IndexCreate(create), "");
  EXPECT_EQ(pinecone_.IndexesList(), R"(["films"])");
  const json::value described = json::parse(pinecone_.IndexDescribe("films"));
  EXPECT_EQ(described.at("database").at("dimension").as_int64(), 3);
  EXPECT_EQ(described.at("status").at("host").as_string(), "films-local.svc.offline.pinecone.io");
  EXPECT_EQ(pinecone_.IndexConfigure("films", 2, "p1.x2"), "");
  EXPECT_EQ(json::parse(pinecone_.IndexDescribe("films")).at("database").at("replicas").as_int64(), 2);

  TzorHTTPPineconeVectorUpserts upserts;
  upserts.AddVector(Vector("x-axis", {1, 0, 0}, {"genre=drama"}));
  upserts.AddVector(Vector("y-axis", {0, 1, 0}, {"genre=comedy", "year=2020"}));
  upserts.AddVector(Vector("z-axis", {0, 0, 1}));
  upserts.AddVector(Vector("diagonal", {1, 1, 0.2}));
  EXPECT_EQ(pinecone_.VectorsUpsert("films", project_, upserts), R"({"upsertedCount":4})");

  EXPECT_EQ(pinecone_.VectorsDescribeIndexStats("films", project_, nullptr),
            R"({"namespaces":{"":{"vectorCount":4}},"dimension":3,"indexFullness":0,"totalVectorCount":4})");
  const TzorPineconeStringList comedy{"genre=comedy"};
  EXPECT_EQ(json::parse(pinecone_.VectorsDescribeIndexStats("films", project_, &comedy)).at("totalVectorCount").as_int64(), 1);

  TzorHTTPPineconeVectorQuery query;
  query.SetVector({0.1, 0.9, 0.05});
  query.SetTopK(2);
  query.SetIncludeMetadata(true);
  const json::value nearest = json::parse(pinecone_.VectorsQuery("films", project_, query));
  ASSERT_EQ(nearest.at("matches").as_array().size(), 2u);
  EXPECT_EQ(nearest.at("matches").at(0).at("id").as_string(), "y-axis");
  EXPECT_EQ(nearest.at("matches").at(0).at("metadata").at("year").as_string(), "2020");
  EXPECT_EQ(nearest.at("matches").at(1).at("id").as_string(), "diagonal");

  TzorHTTPPineconeVectorQuery filtered;
  filtered.SetVector({0.1, 0.9, 0.05});
  filtered.Filter() = {"genre=drama"};
  EXPECT_EQ(json::parse(pinecone_.VectorsQuery("films", project_, filtered)).at("matches").at(0).at("id").as_string(),
            "x-axis");

  EXPECT_EQ(pinecone_.VectorsFetch("films", project_, {"z-axis"}, ""),
            R"({"vectors":{"z-axis":{"id":"z-axis","values":[0,0,1]}},"namespace":""})");

  TzorHTTPPineconeVectorUpdate update;
  update.SetId("z-axis");
  update.SetValues({0, 0.95, 0.1});
  update.SetMetadata() = {"genre=drama"};
  EXPECT_EQ(pinecone_.VectorsUpdate("films", project_, update), "{}");
  EXPECT_EQ(json::parse(pinecone_.VectorsQuery("films", project_, query)).at("matches").at(0).at("id").as_string(),
            "z-axis");

  TzorHTTPPineconeVectorDelete del;
  del.Ids() = {"z-axis", "diagonal"};
  EXPECT_EQ(pinecone_.VectorsDelete("films", project_, del), "{}");
  EXPECT_EQ(json::parse(pinecone_.VectorsDescribeIndexStats("films", project_, nullptr)).at("totalVectorCount").as_int64(), 2);

  EXPECT_EQ(pinecone_.CollectionCreate("films-copy", "films"), "");
  EXPECT_EQ(pinecone_.CollectionsList(), R"(["films-copy"])");
  EXPECT_EQ(json::parse(pinecone_.CollectionDescribe("films-copy")).at("vector_count").as_int64(), 2);
  EXPECT_EQ(pinecone_.CollectionDelete("films-copy"), "");
  EXPECT_EQ(pinecone_.IndexDelete("films"), "");
  EXPECT_EQ(pinecone_.IndexesList(), "[]");
}

TEST_F(PineconeAgainstLocalService, NamespacesAndFetchEncoding) {
  TzorHTTPPineconeIndexCreate create;
  create.SetName("ns-test");
  create.SetDimension(2);
  create.SetMetric("euclidean");
  pinecone_.IndexCreate(create);
  TzorHTTPPineconeVectorUpserts upserts;
  upserts.SetNamespace("team a");
  upserts.AddVector(Vector("a b", {0, 0}));
  upserts.AddVector(Vector("x/y:z", {3, 4}));
  pinecone_.VectorsUpsert("ns-test", project_, upserts);
  EXPECT_EQ(pinecone_.VectorsFetch("ns-test", project_, {"a b", "x/y:z"}, "team a"),
            R"({"vectors":{"a b":{"id":"a b","values":[0,0]},"x/y:z":{"id":"x/y:z","values":[3,4]}},"namespace":"team a"})");

  TzorHTTPPineconeVectorQuery query;
  query.SetNamespace("team a");
  query.SetVector({3, 3.5});
  query.SetIncludeValues(true);
  EXPECT_EQ(pinecone_.VectorsQuery("ns-test", project_, query),
            R"({"results":[],"matches":[{"id":"x/y:z","score":0.25,"values":[3,4]}],"namespace":"team a"})");

  TzorHTTPPineconeVectorDelete all;
  all.SetDeleteAll(true);
  all.SetNamespace("team a");
  pinecone_.VectorsDelete("ns-test", project_, all);
  EXPECT_EQ(pinecone_.VectorsDescribeIndexStats("ns-test", project_, nullptr),
            R"({"namespaces":{},"dimension":2,"indexFullness":0,"totalVectorCount":0})");
  pinecone_.IndexDelete("ns-test");
}

TEST_F(PineconeAgainstLocalService, ServiceErrorsReachTheCaller) {
  try {
    pinecone_.IndexDescribe("missing");
    FAIL();
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), R"(HTTP/1.1 404 Not Found. {"code":5,"message":"Index 'missing' not found","details":[]})");
  }
  pinecone_.PineconeOptions().SetApiKey("wrong");
  EXPECT_THROW(pinecone_.IndexesList(), std::exception);
}

}  // namespace
}  // namespace zor
