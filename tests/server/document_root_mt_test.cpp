// Kept document-root files read by the server's worker threads at once while
// the file is replaced: every read gets one whole version, never a mix.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "server/document_root.h"

namespace zor {
namespace {

namespace fs = std::filesystem;

TEST(DocumentRootFiles, ConcurrentReadsWhileTheFileIsReplaced) {
  const fs::path root = fs::temp_directory_path() / ("zor_docroot_mt_" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  // Versions of different sizes, so that a change is always seen.
  std::vector<std::string> versions;
  for (int i = 0; i < 20; ++i) versions.push_back(std::string(100 + i, static_cast<char>('a' + i)));
  std::ofstream(root / "page.html") << versions[0];

  TzorDocumentRootFiles kept(-1, std::chrono::milliseconds(0));
  const std::set<std::string> valid(versions.begin(), versions.end());
  std::atomic<bool> done = false;
  std::atomic<int> wrong = 0, reads = 0;
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t)
    readers.emplace_back([&] {
      while (!done) {
        const auto content = kept.Read(root.string(), "/page.html");
        if (content && !valid.count(*content)) ++wrong;
        ++reads;
      }
    });
  for (size_t i = 1; i < versions.size(); ++i) {
    std::ofstream(root / "next.html") << versions[i];
    fs::rename(root / "next.html", root / "page.html");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  done = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(kept.Read(root.string(), "/page.html"), versions.back());
  fs::remove_all(root);
}

}  // namespace
}  // namespace zor
