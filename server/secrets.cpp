#include "server/secrets.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

namespace zor {

bool SecretsEqual(std::string_view expected, std::string_view given) {
  if (expected.empty() || given.empty()) return false;
  // Digests have one length, so neither the content nor the length of the
  // expected secret shows in the comparison time.
  unsigned char a[SHA256_DIGEST_LENGTH], b[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(expected.data()), expected.size(), a);
  SHA256(reinterpret_cast<const unsigned char*>(given.data()), given.size(), b);
  return CRYPTO_memcmp(a, b, sizeof a) == 0;
}

}  // namespace zor
