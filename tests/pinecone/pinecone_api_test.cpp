#include "pinecone/pinecone_api.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/pinecone/recorded_request.h"

namespace zor {
namespace {

using testing::CannedAnswer;
using testing::HeaderLines;
using testing::Lines;
using testing::RequestLine;

const Lines kGetLines{"Api-Key: key", "accept: application/json"};
const Lines kPostLines{"Api-Key: key", "accept: application/json", "content-type: application/json"};
const Lines kDeleteLines{"Api-Key: key", "accept: text/plain"};
const Lines kPatchLines{"Api-Key: key", "accept: text/plain", "content-type: application/json"};

class PineconeComponent : public ::testing::Test {
 protected:
  PineconeComponent() {
    pinecone_.ConnectTo().push_back({"", 443, "127.0.0.1", server_.Port()});
    pinecone_.PineconeOptions().SetApiKey("key");
    pinecone_.PineconeOptions().SetEnvironment("env");
  }

  // The request went to `host` with `request_line`, ended its header block
  // with exactly `lines` (after the client's own) and carried `body`.
  void ExpectRequest(const std::string& request_line, const std::string& host, const Lines& lines,
                     const std::string& body) {
    ASSERT_FALSE(server_.Requests().empty());
    const auto request = server_.Requests().back();
    EXPECT_EQ(RequestLine(request.head), request_line);
    const Lines headers = HeaderLines(request.head);
    EXPECT_NE(std::find(headers.begin(), headers.end(), "Host: " + host), headers.end()) << request.head;
    ASSERT_GE(headers.size(), lines.size()) << request.head;
    EXPECT_EQ(Lines(headers.end() - static_cast<std::ptrdiff_t>(lines.size()), headers.end()), lines) << request.head;
    EXPECT_EQ(request.body, body);
  }

  CannedAnswer answer_;
  testing::LocalServer server_{true, [this](const testing::LocalServer::Request&, bool& close) {
                                 close = true;
                                 return answer_.Get();
                               }};
  TzorHTTP_API_Pinecone pinecone_;
};

constexpr const char* kController = "controller.env.pinecone.io";
constexpr const char* kIndex = "idx-proj.svc.env.pinecone.io";

TEST_F(PineconeComponent, ListsReturnTheBodyUnchanged) {
  answer_.Set("200 OK", R"(["a","b"])");
  EXPECT_EQ(pinecone_.IndexesList(), R"(["a","b"])");
  ExpectRequest("GET /databases HTTP/1.1", kController, kGetLines, "");
  answer_.Set("200 OK", R"( [ "c" ] )");
  EXPECT_EQ(pinecone_.CollectionsList(), R"( [ "c" ] )");
  ExpectRequest("GET /collections HTTP/1.1", kController, kGetLines, "");
}

TEST_F(PineconeComponent, NewComponentUsesTheDefaults) {
  TzorHTTP_API_Pinecone fresh;
  fresh.ConnectTo().push_back({"", 443, "127.0.0.1", server_.Port()});
  fresh.IndexesList();
  const Lines headers = HeaderLines(server_.Requests().back().head);
  EXPECT_NE(std::find(headers.begin(), headers.end(), "Host: controller.us-west4-gcp-free.pinecone.io"), headers.end());
  EXPECT_EQ(Lines(headers.end() - 2, headers.end()), (Lines{"Api-Key: ", "accept: application/json"}));
}

TEST_F(PineconeComponent, IndexAndCollectionOperations) {
  TzorHTTPPineconeIndexCreate create;
  create.SetName("zorindex");
  create.SetDimension(1536);
  pinecone_.IndexCreate(create);
  ExpectRequest("POST /databases HTTP/1.1", kController, kPostLines, R"({"name":"zorindex","dimension":1536})");

  pinecone_.IndexDescribe("");
  ExpectRequest("GET /databases/ HTTP/1.1", kController, kGetLines, "");
  pinecone_.IndexDescribe("zorindex");
  ExpectRequest("GET /databases/zorindex HTTP/1.1", kController, kGetLines, "");
  pinecone_.IndexDelete("a/b");
  ExpectRequest("DELETE /databases/a/b HTTP/1.1", kController, kDeleteLines, "");
  pinecone_.IndexConfigure("zorindex", 3, "s1.x2");
  ExpectRequest("PATCH /databases/zorindex HTTP/1.1", kController, kPatchLines, R"({"replicas":3,"pod_type":"s1.x2"})");
  pinecone_.IndexConfigure("zorindex", 0, "");
  ExpectRequest("PATCH /databases/zorindex HTTP/1.1", kController, kPatchLines, R"({"replicas":0,"pod_type":""})");

  pinecone_.CollectionCreate("col", "");
  ExpectRequest("POST /collections HTTP/1.1", kController, kPostLines, R"({"name":"col","source":""})");
  pinecone_.CollectionCreate("a\"b", "{raw}");
  ExpectRequest("POST /collections HTTP/1.1", kController, kPostLines, R"({"name":"a\"b","source":{raw}})");
  pinecone_.CollectionDescribe("col");
  ExpectRequest("GET /collections/col HTTP/1.1", kController, kGetLines, "");
  pinecone_.CollectionDelete("col");
  ExpectRequest("DELETE /collections/col HTTP/1.1", kController, kDeleteLines, "");
}

TEST_F(PineconeComponent, VectorOperations) {
  pinecone_.VectorsDescribeIndexStats("idx", "proj", nullptr);
  ExpectRequest("POST /describe_index_stats HTTP/1.1", kIndex, kPostLines, "");
  const TzorPineconeStringList none;
  pinecone_.VectorsDescribeIndexStats("idx", "proj", &none);
  ExpectRequest("POST /describe_index_stats HTTP/1.1", kIndex, kPostLines, "");
  const TzorPineconeStringList filter{"genre=drama", "year=2020", R"(tags={"$in":["a"]})"};
  pinecone_.VectorsDescribeIndexStats("idx", "proj", &filter);
  ExpectRequest("POST /describe_index_stats HTTP/1.1", kIndex, kPostLines,
                R"({"filter":{"genre":"drama","year":"2020","tags":{"$in":["a"]}}})");

  pinecone_.VectorsFetch("idx", "proj", {"a b", "x/y:z"}, "");
  ExpectRequest("GET /vectors/fetch?ids=a%20b&ids=x%2Fy%3Az HTTP/1.1", kIndex, kGetLines, "");
  pinecone_.VectorsFetch("idx", "proj", {}, "ns");
  ExpectRequest("GET /vectors/fetch?namespace=ns HTTP/1.1", kIndex, kGetLines, "");
  pinecone_.VectorsFetch("idx", "proj", {}, "");
  ExpectRequest("GET /vectors/fetch HTTP/1.1", kIndex, kGetLines, "");

  TzorHTTPPineconeVectorQuery query;
  query.SetVector({0.1, 0.2});
  pinecone_.VectorsQuery("idx", "proj", query);
  ExpectRequest("POST /query HTTP/1.1", kIndex, kPostLines, R"({"topK":1,"vector":[0.1,0.2]})");

  TzorHTTPPineconeVectorDelete del;
  del.Ids() = {"a"};
  pinecone_.VectorsDelete("idx", "proj", del);
  ExpectRequest("POST /vectors/delete HTTP/1.1", kIndex, kPostLines, R"({"ids":["a"]})");

  TzorHTTPPineconeVectorUpdate update;
  update.SetId("a");
  update.SetValues({1});
  pinecone_.VectorsUpdate("idx", "proj", update);
  ExpectRequest("POST /vectors/update HTTP/1.1", kIndex, kPostLines, R"({"id":"a","values":[1]})");

  TzorHTTPPineconeVectorUpserts upserts;
  auto vector = std::make_unique<TzorHTTPPineconeVectorUpsert>();
  vector->SetId("a");
  upserts.AddVector(std::move(vector));
  upserts.SetNamespace("ns");
  pinecone_.VectorsUpsert("idx", "proj", upserts);
  ExpectRequest("POST /vectors/upsert HTTP/1.1", kIndex, kPostLines, R"({"vectors": [{"id":"a","values":[]}],"namespace": "ns"})");
}

TEST_F(PineconeComponent, ErrorsCarryTheServiceBody) {
  const std::string body = R"({"code":5,"message":"Index 'x' not found","details":[]})";
  answer_.Set("404 Not Found", body);
  try {
    pinecone_.IndexDescribe("x");
    FAIL() << "no error raised";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "HTTP/1.1 404 Not Found. " + body);
  }

  std::string reported;
  pinecone_.OnHTTPAPIException = [&](TzorComponent_Base* sender, const std::exception& e) {
    EXPECT_EQ(sender, &pinecone_);
    reported = e.what();
  };
  EXPECT_EQ(pinecone_.IndexDescribe("x"), "");
  EXPECT_EQ(reported, "HTTP/1.1 404 Not Found. " + body);
}

TEST_F(PineconeComponent, OptionsAreCopiedNotShared) {
  TzorHTTPPinecone_Options other;
  other.SetApiKey("other-key");
  other.SetEnvironment("elsewhere");
  other.LogOptions().SetEnabled(true);
  other.LogOptions().SetFileName("x.log");
  pinecone_.SetPineconeOptions(other);
  other.SetApiKey("later");
  EXPECT_EQ(pinecone_.PineconeOptions().ApiKey(), "other-key");
  EXPECT_EQ(pinecone_.PineconeOptions().Environment(), "elsewhere");
  EXPECT_TRUE(pinecone_.PineconeOptions().LogOptions().Enabled());
  EXPECT_EQ(pinecone_.PineconeOptions().LogOptions().FileName(), "x.log");
}

TEST_F(PineconeComponent, LogFileFollowsOnlyChangesOfTheSwitch) {
  const auto dir = std::filesystem::temp_directory_path() / ("pinecone-log-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto first = dir / "a.log";
  const auto second = dir / "b.log";
  auto& log = pinecone_.PineconeOptions().LogOptions();
  log.SetFileName(first.string());
  log.SetEnabled(true);
  pinecone_.IndexesList();
  log.SetFileName(second.string());
  pinecone_.CollectionsList();
  auto read = [](const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  const std::string logged = read(first);
  EXPECT_NE(logged.find("GET /databases HTTP/1.1"), std::string::npos) << logged;
  EXPECT_NE(logged.find("GET /collections HTTP/1.1"), std::string::npos) << logged;
  EXPECT_FALSE(std::filesystem::exists(second));

  // Switching off and on again picks up the new name.
  log.SetEnabled(false);
  pinecone_.IndexesList();
  log.SetEnabled(true);
  pinecone_.IndexesList();
  EXPECT_NE(read(second).find("GET /databases HTTP/1.1"), std::string::npos);
  std::filesystem::remove_all(dir);
}

TEST_F(PineconeComponent, HostNamesThatCannotResolveFail) {
  TzorHTTP_API_Pinecone unrouted;
  unrouted.PineconeOptions().SetEnvironment("env");
  EXPECT_ANY_THROW(unrouted.VectorsFetch("bad name", "proj", {"a"}, ""));
}

}  // namespace
}  // namespace zor
