#include "base/paths.h"

#include <filesystem>
#include <mutex>

namespace zor {

namespace {
std::mutex openssl_directory_lock;
std::string openssl_directory;
}  // namespace

std::string ProgramDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  std::string dir = exe.parent_path().string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

void SetOpenSSLDirectory(const std::string& path) {
  std::lock_guard lock(openssl_directory_lock);
  openssl_directory = path;
  if (!openssl_directory.empty() && openssl_directory.back() != '/') openssl_directory += '/';
}

std::string OpenSSLDirectory() {
  std::lock_guard lock(openssl_directory_lock);
  return openssl_directory;
}

}  // namespace zor
