// Paths from requests never leave the document root; the content types of
// the files served.
#include "server/document_root.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <vector>

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
    fs::create_symlink("../index.html", root / "sub" / "relative-inside-link");
    fs::create_symlink("../../secret.txt", root / "sub" / "relative-outside-link");
    ::mkfifo((root / "fifo").c_str(), 0600);
  }
  void TearDown() override { fs::remove_all(base); }
  static void Write(const fs::path& p) { std::ofstream(p) << "x" << p.filename().string(); }

  fs::path base, root;
};

TEST_F(DocumentRoot, FilesInsideAreFound) {
  const std::pair<fs::path, std::string> cases[] = {
      {root, "/index.html"},
      {root, "/sub/a%20b.txt?x=1"},
      {root, "//sub/./a%20b.txt"},
      {root, "/sub/a b.txt"},
      {root / "", "/index.html"},  // root with a "/"
      // Links that stay inside are followed, absolute or relative.
      {root, "/inside-link"},
      {root, "/sub/relative-inside-link"},
  };
  const fs::path files[] = {root / "index.html", root / "sub" / "a b.txt", root / "sub" / "a b.txt",
                            root / "sub" / "a b.txt", root / "index.html", root / "index.html",
                            root / "index.html"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& [folder, target] = cases[i];
    EXPECT_EQ(DocumentRootFile(folder, target), fs::canonical(files[i])) << target;
    EXPECT_EQ(ReadDocumentRootFile(folder, target), "x" + files[i].filename().string()) << target;
  }
}

TEST_F(DocumentRoot, NothingOutsideIsReached) {
  std::vector<std::string> targets = {
      "/../secret.txt", "/sub/../../secret.txt", "/%2e%2e/secret.txt", "/sub/%2E%2E/%2e%2e/secret.txt",
      "/..%2fsecret.txt", "/..%2Fsecret.txt", "/..%5csecret.txt", "/..\\secret.txt", "/sub%2f..%2f..%2fsecret.txt",
      "/sub/..\\..\\secret.txt", "/sub/..", "/sub/../../secret.txt?x=/a",
      "/outside-link", "/outside-dir/secret.txt", "/sub/relative-outside-link", "secret.txt",
      "http://h/../secret.txt", "/index.html%00.txt", "/", "/sub", "/missing.html", "",
      // An absolute path in the request is taken under the root, never as it stands.
      (base / "secret.txt").string(), "/" + (base / "secret.txt").string(),
      "/fifo"};  // not a regular file, and its opening must not wait for a writer
  TzorDocumentRootFiles kept(-1);
  for (const std::string& target : targets) {
    EXPECT_FALSE(DocumentRootFile(root, target).has_value()) << target;
    EXPECT_FALSE(ReadDocumentRootFile(root, target).has_value()) << target;
    EXPECT_FALSE(kept.Read(root.string(), target).has_value()) << target;
  }
  EXPECT_EQ(kept.Count(), 0u);
  EXPECT_FALSE(ReadDocumentRootFile(base / "missing-root", "/index.html").has_value());
}

// A kept file is served only while it is the file the path names now.
TEST_F(DocumentRoot, KeptFilesFollowEveryChange) {
  TzorDocumentRootFiles kept(-1, std::chrono::milliseconds(0));
  const std::string r = root.string();
  EXPECT_EQ(kept.Read(r, "/index.html"), "xindex.html");
  EXPECT_EQ(kept.Count(), 1u);
  EXPECT_EQ(kept.Read(r, "/index.html"), "xindex.html");
  EXPECT_EQ(kept.Count(), 1u);

  std::ofstream(root / "index.html") << "rewritten";
  EXPECT_EQ(kept.Read(r, "/index.html"), "rewritten");
  // Replaced by another file (a new inode), as a deployment renames one in.
  std::ofstream(root / "new.html") << "renamed in";
  fs::rename(root / "new.html", root / "index.html");
  EXPECT_EQ(kept.Read(r, "/index.html"), "renamed in");
  // Replaced by a link that leads out of the root.
  fs::remove(root / "index.html");
  fs::create_symlink(base / "secret.txt", root / "index.html");
  EXPECT_FALSE(kept.Read(r, "/index.html").has_value());
  // Removed; made unreadable.
  EXPECT_EQ(kept.Read(r, "/sub/a%20b.txt"), "xa b.txt");
  fs::remove(root / "sub" / "a b.txt");
  EXPECT_FALSE(kept.Read(r, "/sub/a%20b.txt").has_value());
  Write(root / "sub" / "a b.txt");
  EXPECT_EQ(kept.Read(r, "/sub/a%20b.txt"), "xa b.txt");
  if (::geteuid() != 0) {  // root reads whatever the mode says
    fs::permissions(root / "sub" / "a b.txt", fs::perms::none);
    EXPECT_FALSE(kept.Read(r, "/sub/a%20b.txt").has_value());
  }
}

TEST_F(DocumentRoot, KeptFilesAreBoundedAndKeyedByTheirRoot) {
  TzorDocumentRootFiles kept(-1, std::chrono::milliseconds(0));
  std::ofstream(root / "big.bin") << std::string(TzorDocumentRootFiles::kMaxFileSize + 1, 'b');
  EXPECT_EQ(kept.Read(root.string(), "/big.bin")->size(), TzorDocumentRootFiles::kMaxFileSize + 1);
  EXPECT_EQ(kept.Count(), 0u);
  // The same path below another root is that root's own: "/sub/a b.txt"
  // kept under root, then "/a b.txt" under root/sub, and a root whose path
  // leads out through a link refuses what the first root served.
  EXPECT_FALSE(kept.Read(root.string(), "/outside-dir/secret.txt").has_value());
  EXPECT_EQ(kept.Read((root / "sub").string(), "/a%20b.txt"), "xa b.txt");
  EXPECT_EQ(kept.Read((root / "outside-dir").string(), "/secret.txt"), "xsecret.txt");
  EXPECT_FALSE(kept.Read(root.string(), "/outside-dir/secret.txt").has_value());
  // Within the recheck time a kept file is served without a look at its path.
  TzorDocumentRootFiles unchecked(-1, std::chrono::hours(1));
  EXPECT_EQ(unchecked.Read(root.string(), "/index.html"), "xindex.html");
  std::ofstream(root / "index.html") << "changed";
  EXPECT_EQ(unchecked.Read(root.string(), "/index.html"), "xindex.html");
  // Files changed just now are read every time, not kept.
  TzorDocumentRootFiles settled;
  EXPECT_EQ(settled.Read(root.string(), "/index.html"), "changed");
  EXPECT_EQ(settled.Count(), 0u);
}

TEST(MimeTable, SystemTypesOverBuiltInOnes) {
  TzorMimeTable table;
  EXPECT_EQ(table.TypeOfFile("/a/INDEX.HTML"), "text/html");
  EXPECT_EQ(table.TypeOfFile("app.js"), "text/javascript");
  EXPECT_EQ(table.TypeOfFile("noext"), "application/octet-stream");
  EXPECT_EQ(table.TypeOfFile("dir.d/file"), "application/octet-stream");
  EXPECT_EQ(table.TypeOfFile("dir.txt\\file"), "application/octet-stream");
  table.AddFromText("# comment\napplication/x-zor  zor ZR2 # trailing\nnot-a-type abc\ntext/x-js js\n");
  EXPECT_EQ(table.TypeOfFile("f.zor"), "application/x-zor");
  EXPECT_EQ(table.TypeOfFile("f.zr2"), "application/x-zor");
  EXPECT_EQ(table.TypeOfFile("f.abc"), "application/octet-stream");
  EXPECT_EQ(table.TypeOfFile("f.js"), "text/x-js");
  EXPECT_EQ(DefaultMimeTable().TypeOfFile("x.css"), "text/css");
}

}  // namespace
}  // namespace zor
