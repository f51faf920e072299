#include "auth/jwt_client.h"
#include "auth/jwt_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace zor {
namespace {

// Signing writes the time claims of the shared payload; several threads
// signing at once must each get a complete, valid token.
TEST(JWTClientConcurrency, SignFromManyThreads) {
  TzorHTTPComponentClient_JWT jwt;
  jwt.JWTOptions().Header().Setalg(jwtHS256);
  jwt.JWTOptions().Algorithms().HS().SetSecret("shared");
  jwt.JWTOptions().Payload().Setsub("someone");
  jwt.JWTOptions().SetRefreshTokenAfter(600);
  TzorHTTPComponentServer_JWT server;
  server.JWTOptions().Algorithms().HS().SetSecret("shared");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        const std::string token = jwt.Sign();
        if (!server.IsJWTTokenValid(nullptr, token)) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace zor
