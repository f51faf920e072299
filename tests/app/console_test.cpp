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

  // A key with a line break would smuggle a header line in: refused, nothing sent.
  EXPECT_EQ(Run({"--local", "--api-key", "k\r\nX-Evil: 1", "indexes-list"}), 1);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(err_.str(), "Header line Api-Key holds CR, LF or NUL\n");

  EXPECT_EQ(Run({"--no-such-option", "x"}), 2);
  EXPECT_NE(err_.str().find("Unknown option --no-such-option"), std::string::npos);
  EXPECT_EQ(Run({"frobnicate"}), 2);
}

// A first run has no settings: the vector commands still reach the index the
// create command made under its default name.
TEST_F(ConsoleTest, LocalFirstRunAddressesTheDefaultIndex) {
  EXPECT_EQ(Run({"--local", "--create-index-dimensions", "2", "--vectors-upsert-vector-id", "a",
                 "--vectors-upsert-vector", "[0.5, 0.5]", "create-index", "upsert", "describe-index-stats"}),
            0)
      << err_.str();
  EXPECT_NE(out_.str().find("\"upsertedCount\":1"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("\"totalVectorCount\":1"), std::string::npos) << out_.str();
  EXPECT_EQ(TzorIniFile(path_).ReadString("PINECONE.INDEX", "INDEX_NAME", "?"), "zorindex");
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
