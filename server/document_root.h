#pragma once
// Files served from a document root: a request's path never leads out of it.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zor {

// The regular file under `root` that the request target's path names, or
// nothing when there is none or the path would leave the root: ".."
// segments, encoded "/" or "\", a "\" or NUL, and symbolic links that end
// outside the root all give nothing.
std::optional<std::filesystem::path> DocumentRootFile(const std::filesystem::path& root, std::string_view target);

// The content of that file, by the same rules. The file is opened below the
// root in one step where the kernel can confine the path itself, so that a
// request costs no look-up of every folder on the way and no link can be
// swapped in between the check and the open; links that step does not
// follow are checked as DocumentRootFile does.
std::optional<std::string> ReadDocumentRootFile(const std::filesystem::path& root, std::string_view target);

// ReadDocumentRootFile with the small files kept in memory between requests.
// A kept file is looked up by its path again (one stat) once `recheckAfter`
// has passed since the last look, and served only while it is the same file
// with the same size and times; a file changed, replaced, removed or made
// unreadable is read again by the rules above. Files changed in the last
// seconds are not kept: a change within the resolution of the file system's
// times would go unseen. Safe for concurrent use.
class TzorDocumentRootFiles {
 public:
  // What is kept at the most; beyond it everything is dropped and kept anew.
  static constexpr size_t kMaxFileSize = 64 * 1024;
  static constexpr size_t kMaxBytes = 16 * 1024 * 1024;
  static constexpr size_t kMaxFiles = 4096;

  // Files changed within the last `settleSeconds` are not kept (tests keep
  // every file with -1 and look at it on every use with 0 ms).
  explicit TzorDocumentRootFiles(int settleSeconds = 2,
                                 std::chrono::milliseconds recheckAfter = std::chrono::milliseconds(100));
  ~TzorDocumentRootFiles();
  TzorDocumentRootFiles(const TzorDocumentRootFiles&) = delete;
  TzorDocumentRootFiles& operator=(const TzorDocumentRootFiles&) = delete;

  std::optional<std::string> Read(const std::string& root, std::string_view target);
  // Files kept now.
  size_t Count() const;

 private:
  struct Entry;
  void Forget(const std::string& key);
  void Clear();

  const int FSettleSeconds;
  const std::chrono::milliseconds FRecheckAfter;
  mutable std::mutex FLock;
  std::unordered_map<std::string, std::shared_ptr<Entry>> FFiles;
  size_t FBytes = 0;
};

}  // namespace zor
