#include "app/ini_file.h"

#include "base/exceptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zor {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zor_ini_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    path_ = (dir_ / "settings.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteFile(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string FileText() {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesDefault) {
  TzorIniFile ini(path_);
  EXPECT_EQ(ini.ReadString("PINECONE", "ENVIRONMENT", "us-west4-gcp-free"), "us-west4-gcp-free");
  WriteFile("[OTHER]\nENVIRONMENT=x\n[PINECONE]\nAPI_KEY=k\n");
  EXPECT_EQ(ini.ReadString("PINECONE", "ENVIRONMENT", "d"), "d");
  EXPECT_EQ(ini.ReadString("pinecone", "api_key", ""), "k");
}

TEST_F(IniFileTest, PresentButEmptyValueIsEmpty) {
  WriteFile("[PINECONE]\r\nENVIRONMENT=\r\n");
  EXPECT_EQ(TzorIniFile(path_).ReadString("PINECONE", "ENVIRONMENT", "us-west4-gcp-free"), "");
}

TEST_F(IniFileTest, WritesKeepOtherSectionsKeysAndComments) {
  WriteFile("; comment\n[A]\nx=1\n\n[PINECONE]\nAPI_KEY=old\nOTHER=keep\n\n[B]\ny=2\n");
  TzorIniFile ini(path_);
  ini.WriteString("PINECONE", "API_KEY", "new");
  ini.WriteString("PINECONE", "ENVIRONMENT", "env");
  ini.WriteString("PINECONE.INDEX", "INDEX_NAME", "idx");
  EXPECT_EQ(FileText(),
            "; comment\n[A]\nx=1\n\n[PINECONE]\nAPI_KEY=new\nOTHER=keep\nENVIRONMENT=env\n\n[B]\ny=2\n"
            "[PINECONE.INDEX]\nINDEX_NAME=idx\n");
  EXPECT_EQ(ini.ReadString("PINECONE", "API_KEY", ""), "new");
  EXPECT_EQ(ini.ReadString("PINECONE.INDEX", "INDEX_NAME", ""), "idx");
  EXPECT_EQ(ini.ReadString("B", "y", ""), "2");
}

TEST_F(IniFileTest, LongValuesAreCutAt2047Characters) {
  TzorIniFile ini(path_);
  ini.WriteString("S", "K", std::string(3000, 'a'));
  EXPECT_EQ(ini.ReadString("S", "K", ""), std::string(2047, 'a'));
  // Non-ASCII characters count once each and are never split.
  std::string accents;
  for (int i = 0; i < 2100; ++i) accents += "\xC3\xA9";
  ini.WriteString("S", "K", accents);
  EXPECT_EQ(ini.ReadString("S", "K", ""), accents.substr(0, 2 * 2047));
}

TEST_F(IniFileTest, UnwritableFileRaisesUnableToWrite) {
  TzorIniFile ini((dir_ / "missing-folder" / "x.ini").string());
  try {
    ini.WriteString("S", "K", "v");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + ini.FileName());
  }
}

}  // namespace
}  // namespace zor
