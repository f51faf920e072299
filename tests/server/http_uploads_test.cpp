// Uploaded files: base names only, exclusive creation that never
// overwrites, the events, and nothing left of a body cut short.
#include "server/http_uploads.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "websocket/ws_types.h"

namespace zor {
namespace {

namespace fs = std::filesystem;

std::string Multipart(const std::vector<std::pair<std::string, std::string>>& files, const std::string& end = "--") {
  std::string body;
  for (const auto& [name, content] : files)
    body += "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"" + name + "\"\r\n\r\n" + content + "\r\n";
  return body + "--B--" + end;
}

TzorHTTPServerRequest Upload(std::string body) {
  TzorHTTPServerRequest request;
  request.ContentType = "multipart/form-data; boundary=B";
  request.PostStream = std::move(body);
  return request;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class Uploads : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("zor_uploads_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "save");
    options.StreamType = pstFileStream;
    options.SaveDirectory = (dir / "save").string();
    events.AfterSaveFile = [this](const std::string& name, const std::string& path) {
      saved.push_back(path + "|" + name);
    };
    events.ReadInput = [this](const std::string& name, const std::string& value) { inputs.push_back(name + "=" + value); };
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
  TzorHTTPUploadFilesServer options;
  TzorHTTPUploadEvents events;
  std::vector<std::string> saved, inputs;
};

TEST_F(Uploads, FileNamesAreReducedToTheirBaseName) {
  EXPECT_EQ(UploadBaseName("../../etc/passwd"), "passwd");
  EXPECT_EQ(UploadBaseName("C:\\Users\\x\\doc.txt"), "doc.txt");
  EXPECT_EQ(UploadBaseName("a\x01\nb.txt"), "ab.txt");
  for (const char* name : {"", ".", "..", "dir/", "/.."}) EXPECT_EQ(UploadBaseName(name), "upload") << name;

  SaveMultipartUploads(options, Upload(Multipart({{"../../escape.txt", "x"}, {"/abs/path.txt", "y"}})), events);
  EXPECT_EQ(ReadFile(dir / "save" / "escape.txt"), "x");
  EXPECT_EQ(ReadFile(dir / "save" / "path.txt"), "y");
  EXPECT_FALSE(fs::exists(dir / "escape.txt"));
  // The application's new name is reduced too; its folder is its own choice.
  events.BeforeSaveFile = [this](std::string& name, std::string& path) {
    name = "../renamed.txt";
    path = dir.string();
  };
  SaveMultipartUploads(options, Upload(Multipart({{"a.txt", "z"}})), events);
  EXPECT_EQ(ReadFile(dir / "renamed.txt"), "z");
  EXPECT_EQ(saved.back(), dir.string() + "|renamed.txt");
}

TEST_F(Uploads, ExistingFilesAndLinksAreNeverOverwritten) {
  std::ofstream(dir / "save" / "a.txt") << "old";
  std::ofstream(dir / "target") << "target";
  fs::create_symlink(dir / "target", dir / "save" / "link.txt");
  SaveMultipartUploads(options, Upload(Multipart({{"a.txt", "new"}, {"a.txt", "newer"}, {"link.txt", "l"}})), events);
  EXPECT_EQ(ReadFile(dir / "save" / "a.txt"), "old");
  EXPECT_EQ(ReadFile(dir / "save" / "a_1.txt"), "new");
  EXPECT_EQ(ReadFile(dir / "save" / "a_2.txt"), "newer");
  EXPECT_EQ(ReadFile(dir / "target"), "target");
  EXPECT_EQ(ReadFile(dir / "save" / "link_1.txt"), "l");
  const std::string save = (dir / "save").string();
  EXPECT_EQ(saved, (std::vector<std::string>{save + "|a_1.txt", save + "|a_2.txt", save + "|link_1.txt"}));
}

TEST_F(Uploads, FieldsAreReportedAndACutBodyLeavesNoFile) {
  const std::string body =
      "--B\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nMy title\r\n"
      "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"cut.bin\"\r\n\r\npartial";
  EXPECT_THROW(SaveMultipartUploads(options, Upload(body), events), TzorWSException);
  EXPECT_EQ(inputs, std::vector<std::string>{"title=My title"});
  EXPECT_TRUE(fs::is_empty(dir / "save"));
}

TEST_F(Uploads, OnlyLargeEnoughMultipartBodiesAreSaved) {
  options.MinSize = 1000;
  TzorHTTPServerRequest small = Upload(std::string(500, 'x'));
  TzorHTTPServerRequest large = Upload(std::string(2000, 'x'));
  EXPECT_FALSE(IsFileUpload(options, small));
  EXPECT_TRUE(IsFileUpload(options, large));
  large.ContentType = "application/octet-stream";
  EXPECT_FALSE(IsFileUpload(options, large));
  options.MinSize = 0;
  EXPECT_TRUE(IsFileUpload(options, small));
  options.StreamType = pstMemoryStream;
  EXPECT_FALSE(IsFileUpload(options, small));
}

}  // namespace
}  // namespace zor
