// Arbitrary bytes as request header lines and as a token: the bearer lookup,
// the token split, Base64 and JSON decoding and the claims check must neither
// crash nor accept a token that was not signed with the key.
#include "auth/bearer_token.h"
#include "auth/jwt_server.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static zor::TzorHTTPComponentServer_JWT* const server = [] {
    auto* s = new zor::TzorHTTPComponentServer_JWT;
    s->JWTOptions().Algorithms().HS().SetSecret("fuzz secret");
    return s;
  }();
  const std::string input(reinterpret_cast<const char*>(data), size);

  std::vector<std::string> lines;
  for (size_t start = 0; start <= input.size();) {
    const size_t end = input.find('\n', start);
    lines.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  zor::FindBearerToken(lines);
  // Without the secret no input can be a validly signed token (a MAC forgery
  // by a fuzzer would mean the check is broken).
  if (server->IsJWTTokenValid(nullptr, lines) || server->IsJWTTokenValid(nullptr, input)) std::abort();
  return 0;
}
