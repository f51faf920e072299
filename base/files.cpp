#include "base/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zor {

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  std::string content;
  char chunk[64 * 1024];
  ssize_t n;
  while ((n = ::read(fd, chunk, sizeof chunk)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    content.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  if (n < 0) return false;
  bytes = std::move(content);
  return true;
}

bool WriteAllBytes(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace zor
