#include "server/document_root.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

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

// The path below the root that the target names ("sub/a b.txt"; empty for
// the root itself), or nothing when it would leave the root.
std::optional<std::string> RelativePath(std::string_view target) {
  const std::string_view rawPath = target.substr(0, target.find('?'));
  if (ContainsText(rawPath, "%2f") || ContainsText(rawPath, "%5c") || ContainsText(rawPath, "%00")) return {};
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

// The whole content of an open regular file; nothing for anything else.
std::optional<std::string> ReadRegularFile(int fd) {
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return {};
  std::string content(static_cast<size_t>(status.st_size), '\0');
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  content.resize(done);  // a file that shrank meanwhile
  return content;
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
  int fd = OpenBeneath(root, *relative);
  if (fd < 0 && (errno == EXDEV || errno == ENOSYS || errno == EPERM)) {
    // Links the one-step open does not follow: checked by their real paths.
    if (const auto file = DocumentRootFile(root, target)) fd = ::open(file->c_str(), kOpenFlags);
  }
  if (fd < 0) return {};
  const FileDescriptor file(fd);
  return ReadRegularFile(file.Get());
}

}  // namespace zor
