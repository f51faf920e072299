#include "server/document_root.h"

#include "base/text.h"
#include "server/http_server_request.h"

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

}  // namespace

std::optional<fs::path> DocumentRootFile(const fs::path& root, std::string_view target) {
  const std::string_view rawPath = target.substr(0, target.find('?'));
  if (ContainsText(rawPath, "%2f") || ContainsText(rawPath, "%5c") || ContainsText(rawPath, "%00")) return {};
  const std::string document = DecodeURLComponent(rawPath, false);
  if (document.empty() || document.front() != '/' || document.find_first_of(std::string_view("\\\0", 2)) != std::string::npos)
    return {};
  fs::path file = root;
  size_t start = 1;
  while (start <= document.size()) {
    size_t end = document.find('/', start);
    if (end == std::string::npos) end = document.size();
    const std::string_view segment = std::string_view(document).substr(start, end - start);
    if (segment == "..") return {};
    if (!segment.empty() && segment != ".") file /= fs::path(std::string(segment));
    start = end + 1;
  }
  std::error_code ec;
  const fs::path realRoot = fs::canonical(root, ec);
  if (ec) return {};
  const fs::path realFile = fs::canonical(file, ec);
  if (ec || !Inside(realFile, realRoot) || !fs::is_regular_file(realFile, ec)) return {};
  return realFile;
}

}  // namespace zor
