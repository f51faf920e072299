#pragma once
// A token source of the tests' own: answers each Start as told.
#include <atomic>
#include <functional>

#include "http/auth_token.h"

namespace zor::testing {

class TestTokenSource : public zor::TzorHTTPComponentClientAuthToken_Base {
 public:
  std::function<void(TestTokenSource&)> on_start;
  int refresh_seconds = 0;
  std::atomic<int> starts{0};

  void Start() override {
    ++starts;
    if (on_start) on_start(*this);
  }
  int RefreshTokenAfter() const override { return refresh_seconds; }
  using TzorHTTPComponentClientAuthToken_Base::DoAuthToken;
  using TzorHTTPComponentClientAuthToken_Base::DoAuthTokenError;
};

}  // namespace zor::testing
