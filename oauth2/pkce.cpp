#include "oauth2/pkce.h"

#include "auth/jwt_helpers.h"
#include "base/digest.h"
#include "base/random.h"

#include <algorithm>

namespace zor {

bool IsPKCEVerifier(std::string_view aVerifier) {
  if (aVerifier.size() < 43 || aVerifier.size() > 128) return false;
  return std::all_of(aVerifier.begin(), aVerifier.end(), [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
  });
}

std::string PKCEChallengeS256(std::string_view aVerifier) {
  return EncodeJWTPart(HashSHA256(TBytes(aVerifier.begin(), aVerifier.end())));
}

std::string NewPKCEVerifier() {
  TBytes bytes(32);
  RandomBytes(bytes.data(), bytes.size());
  return EncodeJWTPart(bytes);
}

}  // namespace zor
