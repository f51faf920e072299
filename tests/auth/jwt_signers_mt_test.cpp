#include "auth/jwt_helpers.h"
#include "auth/jwt_signers.h"
#include "jwt_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace zor {
namespace {

using test::Bytes;
using test::ReadKey;

// Signers share parsed keys between threads; many distinct key texts make
// the shared store fill and empty while others read it.
TEST(JWTSignersConcurrency, SignAndVerifyFromManyThreads) {
  const std::string rsa_private = ReadKey("rsa2048_pkcs8.pem");
  const std::string rsa_public = ReadKey("rsa2048_public.pem");
  const std::string ec_private = ReadKey("ec256.pem");
  const std::string ec_public = ReadKey("ec256_public.pem");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const TzorHTTP_JWT_HMAC hmac;
      const TzorHTTP_JWT_RSA rsa;
      const TzorHTTP_JWT_ES es;
      for (int i = 0; i < 20; ++i) {
        // Trailing blank lines give the same key a new text.
        const std::string pad(static_cast<size_t>(t * 20 + i) % 90, '\n');
        const std::string payload = "p" + std::to_string(i);
        const TBytes input = Bytes(SigningInput("h", payload));
        const std::string hs = EncodeJWTPart(hmac.SignHMAC256(input, Bytes("secret")));
        const std::string es_sig = EncodeJWTPart(es.SignES256(input, Bytes(ec_private + pad)));
        if (!hmac.ValidateHMAC256("h", payload, "secret", hs)) ++failures;
        if (!es.ValidateES256("h", payload, ec_public + pad, es_sig)) ++failures;
        if (i % 10 == 0) {
          const std::string rs = EncodeJWTPart(rsa.SignRSA256(input, Bytes(rsa_private + pad)));
          if (!rsa.ValidateRSA256("h", payload, rsa_public, rs)) ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace zor
