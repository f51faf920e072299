#pragma once
// Test keys under tests/auth/keys (made for these tests only) and RFC 7515's
// example keys.
#include "base/bytes.h"

#include <fstream>
#include <sstream>
#include <string>

namespace zor::test {

inline std::string ReadKey(const std::string& name) {
  std::ifstream in(std::string(ZOR_SOURCE_DIR) + "/tests/auth/keys/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (text.str().empty()) throw std::runtime_error("missing test key " + name);
  return text.str();
}

inline TBytes KeyBytes(const std::string& name) {
  const std::string text = ReadKey(name);
  return TBytes(text.begin(), text.end());
}

inline TBytes Bytes(std::string_view text) { return TBytes(text.begin(), text.end()); }

}  // namespace zor::test
