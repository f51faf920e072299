#pragma once
// Files served from a document root: a request's path never leads out of it.
#include <filesystem>
#include <optional>
#include <string_view>

namespace zor {

// The regular file under `root` that the request target's path names, or
// nothing when there is none or the path would leave the root: ".."
// segments, encoded "/" or "\", a "\" or NUL, and symbolic links that end
// outside the root all give nothing.
std::optional<std::filesystem::path> DocumentRootFile(const std::filesystem::path& root, std::string_view target);

}  // namespace zor
