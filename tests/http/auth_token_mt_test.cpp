// Tokens handed over from a source's own thread.
#include <gtest/gtest.h>

#include <thread>

#include "http/http_client.h"
#include "http/http_exceptions.h"
#include "tests/http/scripted_transport.h"
#include "tests/http/token_source.h"

namespace zor {
namespace {

using testing::ScriptedHTTP;
using testing::ScriptedServer;
using testing::TestTokenSource;

std::string Ok() { return "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"; }

TEST(AuthTokenThreads, TokenFromAnotherThreadWakesTheRequest) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  TestTokenSource oauth;
  std::thread worker;
  oauth.on_start = [&](TestTokenSource& s) {
    worker = std::thread([&s] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      s.DoAuthToken("Bearer", "late-but-in-time", "");
    });
  };
  http.Authentication().Token().SetOAuth(&oauth);
  server.responses = {Ok()};
  http.Get("http://h/1");
  worker.join();
  EXPECT_NE(server.AllReceived().find("Authorization: Bearer late-but-in-time\r\n"), std::string::npos);
}

TEST(AuthTokenThreads, FailureOnTheSourceThreadIsRaisedByTheRequest) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  TestTokenSource oauth;
  std::thread worker;
  bool escaped = false;
  oauth.on_start = [&](TestTokenSource& s) {
    worker = std::thread([&s, &escaped] {
      try {
        s.DoAuthTokenError("access_denied", "The user said no", "");
      } catch (...) {
        escaped = true;
      }
    });
  };
  http.Authentication().Token().SetOAuth(&oauth);
  EXPECT_THROW(
      {
        try {
          http.Get("http://h/1");
        } catch (const EzorHTTPAuthTokenError& e) {
          EXPECT_STREQ(e.what(), "Error access_denied. The user said no");
          throw;
        }
      },
      EzorHTTPAuthTokenError);
  worker.join();
  EXPECT_FALSE(escaped);
}

TEST(AuthTokenThreads, TokenAfterTheTimeoutServesTheNextRequest) {
  ScriptedServer server;
  ScriptedHTTP http(server);
  TestTokenSource jwt;
  jwt.refresh_seconds = 3600;
  std::atomic<bool> release{false};
  std::thread worker;
  jwt.on_start = [&](TestTokenSource& s) {
    worker = std::thread([&s, &release] {
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      s.DoAuthToken("Bearer", "stored", "");
    });
  };
  http.Authentication().Token().SetJWT(&jwt);
  http.Authentication().Token().SetReadTimeout(10);
  server.responses = {Ok(), Ok()};
  http.Get("http://h/1");
  EXPECT_EQ(server.AllReceived().find("Authorization"), std::string::npos);
  release = true;
  worker.join();
  http.Get("http://h/2");
  EXPECT_NE(server.AllReceived().find("Authorization: Bearer stored\r\n"), std::string::npos);
  EXPECT_EQ(jwt.starts, 1);
}

TEST(AuthTokenThreads, LateEventAfterTheClientIsGoneIsDropped) {
  TestTokenSource oauth;
  std::atomic<bool> release{false};
  std::thread worker;
  oauth.on_start = [&](TestTokenSource& s) {
    worker = std::thread([&s, &release] {
      while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      s.DoAuthToken("Bearer", "nobody waits", "");
      s.DoAuthTokenError("e", "d", "");
    });
  };
  {
    ScriptedServer server;
    ScriptedHTTP http(server);
    http.Authentication().Token().SetOAuth(&oauth);
    http.Authentication().Token().SetReadTimeout(5);
    server.responses = {Ok()};
    http.Get("http://h/1");
  }
  release = true;
  worker.join();
  EXPECT_EQ(oauth.starts, 1);
}

}  // namespace
}  // namespace zor
