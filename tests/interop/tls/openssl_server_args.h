#pragma once
// The command line of `openssl s_server` on 127.0.0.1:`port` with the test
// server certificate, followed by `extra`.
#include <string>
#include <vector>

#include "tests/net/test_pki.h"

namespace zor::test {

inline std::vector<std::string> OpenSSLServerArgs(const TestPKI& pki, uint16_t port, std::vector<std::string> extra) {
  std::vector<std::string> argv = {"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port),
                                   "-cert", pki.ServerCertFile(), "-key", pki.ServerKeyFile()};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return argv;
}

}  // namespace zor::test
