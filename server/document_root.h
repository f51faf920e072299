#pragma once
// Files served from a document root: a request's path never leads out of it.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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

}  // namespace zor
