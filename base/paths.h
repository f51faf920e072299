#pragma once
// The running program's folder and the process-wide OpenSSL library folder.
#include <string>

namespace zor {

// Folder of the running program file (from /proc/self/exe), ending with "/".
std::string ProgramDirectory();

// Where the TLS layer is told to look for OpenSSL libraries: a trailing "/" is
// added; empty text clears it. Kept for reporting: the linked OpenSSL serves.
void SetOpenSSLDirectory(const std::string& path);
std::string OpenSSLDirectory();

}  // namespace zor
