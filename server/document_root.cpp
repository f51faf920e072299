#include "server/document_root.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "base/text.h"
#include "base/url.h"

namespace zor {

namespace fs = std::filesystem;

namespace {

bool Inside(const fs::path& file, const fs::path& root) {
  auto f = file.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++f) {
    if (r->empty()) continue;  // the trailing "" of "/root/"
    if (f == file.end() || *f != *r) return false;
  }
  return true;
}

// The usual path: no escapes, backslashes or NULs, and no empty, "." or ".."
// segments.
bool IsPlainPath(std::string_view path) {
  if (path.size() < 2 || path.front() != '/' || path.back() == '/') return false;
  for (size_t i = 1; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '%' || c == '\\' || c == '\0' || (path[i - 1] == '/' && (c == '/' || c == '.'))) return false;
  }
  return true;
}

// The path below the root that the target names ("sub/a b.txt"; empty for
// the root itself), or nothing when it would leave the root. A plain path is
// its own.
std::optional<std::string> RelativePath(std::string_view target) {
  const std::string_view rawPath = target.substr(0, target.find('?'));
  if (IsPlainPath(rawPath)) return std::string(rawPath.substr(1));
  if (rawPath.find('%') != std::string_view::npos &&
      (ContainsText(rawPath, "%2f") || ContainsText(rawPath, "%5c") || ContainsText(rawPath, "%00")))
    return {};
  const std::string document = PercentDecode(rawPath, false);
  if (document.empty() || document.front() != '/' || document.find_first_of(std::string_view("\\\0", 2)) != std::string::npos)
    return {};
  std::string relative;
  size_t start = 1;
  while (start <= document.size()) {
    size_t end = document.find('/', start);
    if (end == std::string::npos) end = document.size();
    const std::string_view segment = std::string_view(document).substr(start, end - start);
    if (segment == "..") return {};
    if (!segment.empty() && segment != ".") {
      if (!relative.empty()) relative += '/';
      relative += segment;
    }
    start = end + 1;
  }
  return relative;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// O_NONBLOCK: a FIFO under the root must not hold the opening thread.
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// Opens the path below the root in one step, the kernel refusing every step
// (a "..", a symbolic link) that would leave it. -1 and errno otherwise:
// EXDEV for a link it will not follow that way (absolute, or leading out),
// ENOSYS or EPERM where the call is missing or filtered.
int OpenBeneath(const fs::path& root, const std::string& relative) {
  const FileDescriptor folder(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() < 0) return -1;
  open_how how{};
  how.flags = kOpenFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const int fd = static_cast<int>(::syscall(SYS_openat2, folder.Get(), relative.c_str(), &how, sizeof how));
  const int error = errno;
  if (fd < 0) errno = error;  // past the folder's close
  return fd;
}

// What a file was when it was read: a file with the same identity, times and
// size still holds what was read.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{}, changed{};

  explicit FileIdentity(const struct stat& s)
      : device(s.st_dev), inode(s.st_ino), size(s.st_size), modified(s.st_mtim), changed(s.st_ctim) {}
  bool operator==(const FileIdentity& o) const {
    const auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
    return device == o.device && inode == o.inode && size == o.size && same(modified, o.modified) &&
           same(changed, o.changed);
  }
};

struct FileContent {
  std::string content;
  struct stat status;
};

// The whole content of an open regular file; nothing for anything else.
std::optional<FileContent> ReadRegularFile(int fd) {
  FileContent file;
  if (::fstat(fd, &file.status) != 0 || !S_ISREG(file.status.st_mode)) return {};
  std::string& content = file.content;
  content.assign(static_cast<size_t>(file.status.st_size), '\0');
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  content.resize(done);  // a file that shrank meanwhile
  return file;
}

std::optional<FileContent> ReadBelowRoot(const fs::path& root, const std::string& relative, std::string_view target) {
  int fd = OpenBeneath(root, relative);
  if (fd < 0 && (errno == EXDEV || errno == ENOSYS || errno == EPERM)) {
    // Links the one-step open does not follow: checked by their real paths.
    if (const auto file = DocumentRootFile(root, target)) fd = ::open(file->c_str(), kOpenFlags);
  }
  if (fd < 0) return {};
  const FileDescriptor file(fd);
  return ReadRegularFile(file.Get());
}

// Whether a file last changed at `changed` can no longer change unseen: a
// later change gets a later time even on file systems with coarse times.
bool SettledChange(const timespec& changed, int settleSeconds) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return changed.tv_sec + settleSeconds < now.tv_sec;
}

}  // namespace

std::optional<fs::path> DocumentRootFile(const fs::path& root, std::string_view target) {
  const std::optional<std::string> relative = RelativePath(target);
  if (!relative) return {};
  std::error_code ec;
  const fs::path realRoot = fs::canonical(root, ec);
  if (ec) return {};
  const fs::path realFile = fs::canonical(relative->empty() ? root : root / *relative, ec);
  if (ec || !Inside(realFile, realRoot) || !fs::is_regular_file(realFile, ec)) return {};
  return realFile;
}

std::optional<std::string> ReadDocumentRootFile(const fs::path& root, std::string_view target) {
  const std::optional<std::string> relative = RelativePath(target);
  if (!relative || relative->empty()) return {};
  std::optional<FileContent> file = ReadBelowRoot(root, *relative, target);
  if (!file) return {};
  return std::move(file->content);
}

struct TzorDocumentRootFiles::Entry {
  Entry(const FileIdentity& i, std::string c) : identity(i), content(std::move(c)) {}
  const FileIdentity identity;
  const std::string content;
  // When the path last led to this file (steady clock).
  std::atomic<std::chrono::steady_clock::rep> checked{std::chrono::steady_clock::now().time_since_epoch().count()};
};

TzorDocumentRootFiles::TzorDocumentRootFiles(int settleSeconds, std::chrono::milliseconds recheckAfter)
    : FSettleSeconds(settleSeconds), FRecheckAfter(recheckAfter) {}
TzorDocumentRootFiles::~TzorDocumentRootFiles() = default;

std::optional<std::string> TzorDocumentRootFiles::Read(const std::string& root, std::string_view target) {
  const std::optional<std::string> relative = RelativePath(target);
  if (!relative || relative->empty()) return {};
  // The root is part of the key: the same path may be confined differently
  // below another root.
  std::string key;
  key.reserve(root.size() + 1 + relative->size());
  key.append(root).append(1, '\0').append(*relative);
  std::shared_ptr<Entry> kept;
  {
    const std::lock_guard guard(FLock);
    if (const auto found = FFiles.find(key); found != FFiles.end()) kept = found->second;
  }
  if (kept) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto checked = std::chrono::steady_clock::duration(kept->checked.load(std::memory_order_relaxed));
    if (now - checked < FRecheckAfter) return kept->content;
    struct stat status;
    if (::stat((root + '/' + *relative).c_str(), &status) == 0 && FileIdentity(status) == kept->identity) {
      kept->checked.store(now.count(), std::memory_order_relaxed);
      return kept->content;
    }
  }
  std::optional<FileContent> file = ReadBelowRoot(root, *relative, target);
  const std::lock_guard guard(FLock);
  if (kept) Forget(key);
  if (!file) return {};
  const size_t size = file->content.size();
  if (size <= kMaxFileSize && static_cast<off_t>(size) == file->status.st_size && SettledChange(file->status.st_ctim, FSettleSeconds)) {
    if (FFiles.size() >= kMaxFiles || FBytes + size > kMaxBytes) Clear();
    FFiles.emplace(key, std::make_shared<Entry>(FileIdentity(file->status), file->content));
    FBytes += size;
  }
  return std::move(file->content);
}

void TzorDocumentRootFiles::Forget(const std::string& key) {
  const auto found = FFiles.find(key);
  if (found == FFiles.end()) return;
  FBytes -= found->second->content.size();
  FFiles.erase(found);
}

void TzorDocumentRootFiles::Clear() {
  FFiles.clear();
  FBytes = 0;
}

size_t TzorDocumentRootFiles::Count() const {
  const std::lock_guard guard(FLock);
  return FFiles.size();
}

}  // namespace zor
