#include "app/console.h"
#include "app/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace zor {
namespace {

namespace fs = std::filesystem;

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() /
             ("zor_console_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini"))
                .string();
    fs::remove(path_);
  }
  void TearDown() override { fs::remove(path_); }

  int Run(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--settings", path_});
    std::istringstream in(input);
    out_.str("");
    err_.str("");
    return RunConsole(args, {in, out_, err_});
  }

  std::string path_;
  std::ostringstream out_, err_;
};

TEST_F(ConsoleTest, OneShotCommandsAnswerOnStdout) {
  EXPECT_EQ(Run({"--local", "indexes-list"}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "[]\n");
  EXPECT_EQ(err_.str(), "");
  EXPECT_EQ(Run({"--local", "--create-index-dimensions", "4", "create-index", "indexes-list"}), 0) << err_.str();
  EXPECT_NE(out_.str().find("zorindex"), std::string::npos);
}

TEST_F(ConsoleTest, FailuresGoToStderrWithExitCodes) {
  EXPECT_EQ(Run({"--local", "--index-describe-name", "missing", "index-describe"}), 1);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(err_.str().rfind("HTTP/1.1 404 Not Found. ", 0), 0u) << err_.str();

  EXPECT_EQ(Run({"--local", "--create-index-dimensions", "abc", "create-index"}), 1);
  EXPECT_EQ(err_.str(), "'abc' is not a valid integer value\n");

  EXPECT_EQ(Run({"--no-such-option", "x"}), 2);
  EXPECT_NE(err_.str().find("Unknown option --no-such-option"), std::string::npos);
  EXPECT_EQ(Run({"frobnicate"}), 2);
}

TEST_F(ConsoleTest, InteractiveSetAndCommands) {
  const int code = Run({"--local"},
                       "set create-index-dimensions 2\n"
                       "create-index\n"
                       "set vectors-index-name zorindex\n"
                       "set vectors-upsert-vector-id a\n"
                       "set vectors-upsert-vector [0.5, 0.5]\n"
                       "upsert\n"
                       "index-describe\n"
                       "bogus\n"
                       "show\n"
                       "quit\n");
  EXPECT_EQ(code, 0);
  const std::string out = out_.str();
  EXPECT_NE(out.find("zorpinecone> "), std::string::npos);
  EXPECT_NE(out.find("\"upsertedCount\":1"), std::string::npos) << out;
  EXPECT_NE(out.find("\"dimension\":2"), std::string::npos) << out;
  EXPECT_NE(out.find("vectors-upsert-vector = [0.5, 0.5]"), std::string::npos);
  EXPECT_NE(out.find("api-key = *********"), std::string::npos);  // "local-key", masked
  EXPECT_NE(err_.str().find("Unknown command bogus"), std::string::npos);
}

// Every answer appears in `out`, in this order.
void ExpectInOrder(const std::string& out, const std::vector<std::string>& answers) {
  size_t at = 0;
  for (const std::string& answer : answers) {
    const size_t found = out.find(answer, at);
    ASSERT_NE(found, std::string::npos) << "missing after " << at << ": " << answer << "\n" << out;
    at = found + answer.size();
  }
}

TEST_F(ConsoleTest, CurrentApiEveryCommandAgainstTheLocalService) {
  const std::string host = "zorindex-local.svc.us-east-1-aws.pinecone.io";
  const int code = Run({"--local", "--api", "current"},
                       "indexes-list\n"
                       "set create-index-dimensions 2\n"
                       "create-index\n"
                       "set index-describe-name zorindex\n"
                       "index-describe\n"
                       "set vectors-index-name zorindex\n"
                       "set vectors-upsert-vector-id a\n"
                       "set vectors-upsert-vector [1, 0]\n"
                       "upsert\n"
                       "set vectors-upsert-vector-id b\n"
                       "set vectors-upsert-vector [0, 1]\n"
                       "upsert\n"
                       "set vectors-query-vector [1, 0.1]\n"
                       "query\n"
                       "set vectors-fetch-vector-id a\n"
                       "fetch\n"
                       "set vectors-update-vector-id a\n"
                       "set vectors-update-vector [0.5, 0.5]\n"
                       "update\n"
                       "fetch\n"
                       "set vectors-list-prefix b\n"
                       "list\n"
                       "namespaces-list\n"
                       "describe-index-stats\n"
                       "set vectors-delete-vector-id a\n"
                       "delete\n"
                       "describe-index-stats\n"
                       "set vectors-upsert-vector-id doc#1\n"
                       "upsert\n"
                       "delete-by-prefix\n"
                       "set vectors-delete-prefix doc#\n"
                       "delete-by-prefix\n"
                       "set vectors-namespace ns\n"
                       "upsert\n"
                       "fetch\n"
                       "namespaces-list\n"
                       "delete-by-prefix\n"
                       "set vectors-namespace\n"
                       "create-collection\n"
                       "collections-list\n"
                       "describe-collection\n"
                       "collection-delete\n"
                       "collections-list\n"
                       "index-configure\n"  // a serverless index has no pods
                       "set create-index-name podindex\n"
                       "set create-index-pod-type p1.x1\n"
                       "create-index\n"
                       "set index-configure-name podindex\n"
                       "index-configure\n"
                       "set index-delete-name podindex\n"
                       "index-delete\n"
                       "index-delete\n"
                       "set index-delete-name zorindex\n"
                       "index-delete\n"
                       "indexes-list\n"
                       "show\n"
                       "quit\n");
  EXPECT_EQ(code, 0);
  const std::string model = R"({"name":"zorindex","metric":"cosine","host":")" + host + R"(","deletion_protection":"disabled","dimension":2,)";
  ExpectInOrder(out_.str(), {
      "Commands (current API): indexes-list create-index index-describe index-delete index-configure "
      "describe-index-stats query delete fetch update upsert list delete-by-prefix namespaces-list collections-list",
      R"({"indexes":[]})",
      model,  // create
      model,  // describe
      R"({"upsertedCount":1})",
      R"({"upsertedCount":1})",
      R"({"results":[],"matches":[{"id":"a","score":0.99)",
      R"({"vectors":{"a":{"id":"a","values":[1,0]}},"namespace":"__default__"})",
      "{}",  // update
      R"({"vectors":{"a":{"id":"a","values":[0.5,0.5]}},"namespace":"__default__"})",
      R"({"vectors":[{"id":"b"}],"namespace":"__default__","usage":{"readUnits":1}})",
      R"({"namespaces":[{"name":"__default__","record_count":2}],"total_count":1})",
      R"({"namespaces":{"__default__":{"vectorCount":2}},"dimension":2,"indexFullness":0,"totalVectorCount":2})",
      "{}",  // delete
      R"({"namespaces":{"__default__":{"vectorCount":1}},"dimension":2,"indexFullness":0,"totalVectorCount":1})",
      R"({"upsertedCount":1})",
      R"({"deletedCount":1})",
      R"({"upsertedCount":1})",
      R"({"vectors":{},"namespace":"ns"})",  // "a" is not in ns
      R"({"namespaces":[{"name":"__default__","record_count":1},{"name":"ns","record_count":1}],"total_count":2})",
      R"({"deletedCount":1})",
      R"({"name":"zorcollection","size":8,"status":"Ready","dimension":2,"vector_count":1,"environment":"us-east-1-aws"})",
      R"({"collections":[{"name":"zorcollection")",
      R"({"name":"zorcollection","size":8)",
      R"({"collections":[]})",
      R"({"name":"podindex","metric":"cosine","host":"podindex-local.svc.us-east-1-aws.pinecone.io")",
      R"("spec":{"pod":{"environment":"us-east-1-aws","replicas":3,"shards":1,"pod_type":"s1.x2","pods":1}})",
      R"({"indexes":[]})",
      "api = current",
  });
  // Answers without text (deleting a collection, an index) leave empty lines;
  // the two failures go to stderr.
  ExpectInOrder(err_.str(), {
      "Deleting by prefix needs a prefix",
      R"(HTTP/1.1 400 Bad Request. {"error":{"code":"INVALID_ARGUMENT","message":"A serverless index has no pods to configure"},"status":400})",
      R"(HTTP/1.1 404 Not Found. {"error":{"code":"NOT_FOUND","message":"Index 'podindex' not found"},"status":404})",
  });
  const std::string shown = out_.str().substr(out_.str().rfind("api = current"));
  EXPECT_NE(shown.find("cloud = aws"), std::string::npos);
  EXPECT_NE(shown.find("vectors-list-prefix = b"), std::string::npos);
  EXPECT_EQ(shown.find("environment ="), std::string::npos);  // fields of the legacy API are not shown
  EXPECT_EQ(shown.find("vectors-project-id ="), std::string::npos);
  const TzorIniFile saved(path_);
  EXPECT_EQ(saved.ReadString("PINECONE.API", "MODE", "?"), "current");
}

TEST_F(ConsoleTest, SwitchingTheApiListsItsCommands) {
  EXPECT_EQ(Run({}, "set api current\nset api other\nset api legacy\nnamespaces-list\nquit\n"), 0);
  ExpectInOrder(out_.str(), {"Commands (legacy API): indexes-list", "Commands (current API): indexes-list",
                             "Commands (legacy API): indexes-list"});
  ExpectInOrder(err_.str(), {"The API is legacy or current, not 'other'", "\"Namespaces List\" needs the current API"});
}

TEST_F(ConsoleTest, SettingsReadAtStartWrittenAtExit) {
  EXPECT_EQ(Run({"--api-key", "k1", "--vectors-project-id", "p9"}, "quit\n"), 0);
  const TzorIniFile saved(path_);
  EXPECT_EQ(saved.ReadString("PINECONE", "API_KEY", "?"), "k1");
  EXPECT_EQ(saved.ReadString("PINECONE.INDEX", "PROJECT_ID", "?"), "p9");
  EXPECT_EQ(Run({}, "show\nquit\n"), 0);
  EXPECT_NE(out_.str().find("vectors-project-id = p9"), std::string::npos);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.str().find("(default: " + path_ + ")"), std::string::npos);
  EXPECT_EQ(Run({}, "help\nquit\n"), 0);  // the interactive help names the same file
  EXPECT_NE(out_.str().find("(default: " + path_ + ")"), std::string::npos);
}

}  // namespace
}  // namespace zor
