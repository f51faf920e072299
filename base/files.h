#pragma once
// Whole-file reads and complete writes. Files are opened close-on-exec, so a
// child process the application starts never inherits them.
#include <string>
#include <string_view>

namespace zor {

// The whole content of the file; false when it cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::string& bytes);

// Writes every byte to `fd`, going on after partial and interrupted writes;
// false, with errno set, when a write fails.
bool WriteAllBytes(int fd, std::string_view bytes);

}  // namespace zor
