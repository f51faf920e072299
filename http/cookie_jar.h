#pragma once
// Cookies a client keeps between its requests (RFC 6265 matching by domain,
// path, Secure and expiry; no public-suffix list). Bounded in count and size.
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// The HTTP client's cookies, bounded in count and size.
class TzorCookieJar {
 public:
  using Clock = std::chrono::system_clock;

  static constexpr size_t kMaxCookies = 300;
  static constexpr size_t kMaxCookieBytes = 4096;

  // Takes one Set-Cookie value received for a request to host and path.
  void Store(std::string_view set_cookie, std::string_view host, std::string_view request_path,
             Clock::time_point now = Clock::now());
  // The Cookie line's value for a request ("a=1; b=2"), longest paths first;
  // empty when no cookie applies.
  std::string CookieLine(std::string_view host, std::string_view request_path, bool secure,
                         Clock::time_point now = Clock::now()) const;

  size_t Count() const { return cookies_.size(); }
  void Clear() { cookies_.clear(); }

 private:
  struct Cookie {
    std::string name, value, domain, path;
    bool host_only = true;
    bool secure = false;
    bool persistent = false;
    Clock::time_point expires;
  };
  std::vector<Cookie> cookies_;
};

}  // namespace zor
