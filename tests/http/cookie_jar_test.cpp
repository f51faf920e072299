#include "http/cookie_jar.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

using namespace std::chrono_literals;

TEST(CookieJar, MatchesByDomainPathAndSecure) {
  TzorCookieJar jar;
  jar.Store("sid=1; Path=/; Secure", "api.example.com", "/v1/x");
  jar.Store("dom=2; Domain=.example.com; Path=/", "api.example.com", "/v1/x");
  jar.Store("deep=3; Path=/v1", "api.example.com", "/");
  jar.Store("here=4", "api.example.com", "/v1/x");  // default path "/v1"
  jar.Store("evil=5; Domain=other.com", "api.example.com", "/");
  EXPECT_EQ(jar.Count(), 4u);
  EXPECT_EQ(jar.CookieLine("api.example.com", "/v1/y?q=1", true), "deep=3; here=4; sid=1; dom=2");
  EXPECT_EQ(jar.CookieLine("API.example.com", "/v1/y", false), "deep=3; here=4; dom=2");
  EXPECT_EQ(jar.CookieLine("www.example.com", "/v1", false), "dom=2");
  EXPECT_EQ(jar.CookieLine("example.com", "/v10", true), "dom=2");
  EXPECT_EQ(jar.CookieLine("badexample.com", "/", true), "");
}

TEST(CookieJar, ExpiryReplacementAndDeletion) {
  TzorCookieJar jar;
  const auto now = TzorCookieJar::Clock::from_time_t(1700000000);
  jar.Store("a=1; Max-Age=60", "h", "/", now);
  jar.Store("b=1; Expires=Wed, 21 Oct 2015 07:28:00 GMT", "h", "/", now);  // already past
  jar.Store("c=1; Expires=Wed, 21 Oct 2037 07:28:00 GMT", "h", "/", now);
  // Beyond the clock's range (a typo for 2046, the year 9999): kept, not an overflow.
  jar.Store("far=1; Expires=Wed, 09 Jun 6046 10:18:14 GMT", "far", "/", now);
  jar.Store("end=1; Expires=Fri, 31 Dec 9999 23:59:59 GMT", "far", "/", now);
  EXPECT_EQ(jar.CookieLine("far", "/", false, now + 24h * 365 * 200), "far=1; end=1");
  EXPECT_EQ(jar.CookieLine("h", "/", false, now), "a=1; c=1");
  EXPECT_EQ(jar.CookieLine("h", "/", false, now + 61s), "c=1");
  jar.Store("c=2", "h", "/", now);
  EXPECT_EQ(jar.CookieLine("h", "/", false, now), "a=1; c=2");
  jar.Store("a=x; Max-Age=0", "h", "/", now);
  EXPECT_EQ(jar.CookieLine("h", "/", false, now), "c=2");
  for (int i = 0; i < 400; ++i) jar.Store("n" + std::to_string(i) + "=v", "h", "/", now);
  EXPECT_EQ(jar.Count(), TzorCookieJar::kMaxCookies);
  jar.Store("big=" + std::string(TzorCookieJar::kMaxCookieBytes, 'x'), "h", "/", now);
  EXPECT_EQ(jar.CookieLine("h", "/", false, now).find("big="), std::string::npos);
}

}  // namespace
}  // namespace zor
