// Paths from requests never leave the document root; the content types of
// the files served.
#include "server/document_root.h"

#include <gtest/gtest.h>

#include <fstream>

#include "server/mime_types.h"

namespace zor {
namespace {

namespace fs = std::filesystem;

class DocumentRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    base = fs::temp_directory_path() / ("zor_docroot_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(base);
    root = base / "root";
    fs::create_directories(root / "sub");
    Write(root / "index.html");
    Write(root / "sub" / "a b.txt");
    Write(base / "secret.txt");
    fs::create_symlink(base / "secret.txt", root / "outside-link");
    fs::create_directory_symlink(base, root / "outside-dir");
    fs::create_symlink(root / "index.html", root / "inside-link");
  }
  void TearDown() override { fs::remove_all(base); }
  static void Write(const fs::path& p) { std::ofstream(p) << "x"; }

  fs::path base, root;
};

TEST_F(DocumentRoot, FilesInsideAreFound) {
  EXPECT_EQ(DocumentRootFile(root, "/index.html"), fs::canonical(root / "index.html"));
  EXPECT_EQ(DocumentRootFile(root, "/sub/a%20b.txt?x=1"), fs::canonical(root / "sub" / "a b.txt"));
  EXPECT_EQ(DocumentRootFile(root, "//sub/./a%20b.txt"), fs::canonical(root / "sub" / "a b.txt"));
  EXPECT_EQ(DocumentRootFile(root / "", "/index.html"), fs::canonical(root / "index.html"));  // root with a "/"
  // A link that stays inside is followed.
  EXPECT_EQ(DocumentRootFile(root, "/inside-link"), fs::canonical(root / "index.html"));
}

TEST_F(DocumentRoot, NothingOutsideIsReached) {
  for (const char* target :
       {"/../secret.txt", "/sub/../../secret.txt", "/%2e%2e/secret.txt", "/sub/%2E%2E/%2e%2e/secret.txt",
        "/..%2fsecret.txt", "/..%2Fsecret.txt", "/..%5csecret.txt", "/..\\secret.txt", "/sub%2f..%2f..%2fsecret.txt",
        "/outside-link", "/outside-dir/secret.txt", "secret.txt",
        "http://h/../secret.txt", "/index.html%00.txt", "/", "/sub", "/missing.html", ""}) {
    EXPECT_FALSE(DocumentRootFile(root, target).has_value()) << target;
  }
  // An absolute path in the request is taken under the root, never as it stands.
  EXPECT_FALSE(DocumentRootFile(root, (base / "secret.txt").string()).has_value());
  EXPECT_FALSE(DocumentRootFile(root, "/" + (base / "secret.txt").string()).has_value());
}

TEST(MimeTable, SystemTypesOverBuiltInOnes) {
  TzorMimeTable table;
  EXPECT_EQ(table.TypeOfFile("/a/INDEX.HTML"), "text/html");
  EXPECT_EQ(table.TypeOfFile("app.js"), "text/javascript");
  EXPECT_EQ(table.TypeOfFile("noext"), "application/octet-stream");
  EXPECT_EQ(table.TypeOfFile("dir.d/file"), "application/octet-stream");
  table.AddFromText("# comment\napplication/x-zor  zor ZR2 # trailing\nnot-a-type abc\ntext/x-js js\n");
  EXPECT_EQ(table.TypeOfFile("f.zor"), "application/x-zor");
  EXPECT_EQ(table.TypeOfFile("f.zr2"), "application/x-zor");
  EXPECT_EQ(table.TypeOfFile("f.abc"), "application/octet-stream");
  EXPECT_EQ(table.TypeOfFile("f.js"), "text/x-js");
  EXPECT_EQ(DefaultMimeTable().TypeOfFile("x.css"), "text/css");
}

}  // namespace
}  // namespace zor
