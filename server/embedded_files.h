#pragma once
// Files built into the program (server/files), for the server's own routes.
#include <cstddef>
#include <span>

namespace zor {

// One file built into the program.
struct TzorEmbeddedFile {
  const char* Name;
  const char* Data;
  size_t Size;
};

std::span<const TzorEmbeddedFile> EmbeddedFiles();

}  // namespace zor
