#include "base/clock.h"
#include "base/component.h"
#include "base/exceptions.h"
#include "base/paths.h"
#include "base/persistent.h"
#include "base/streams.h"
#include "base/string_list.h"
#include "base/url.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace zor {
namespace {

TEST(Clock, TicksWrapAndMonotonic) {
  EXPECT_EQ(TicksBetween(4294967290u, 5u), 11u);
  EXPECT_EQ(TicksBetween(5u, 10u), 5u);
  const uint64_t a = TicksNow();
  EXPECT_GE(TicksNow(), a);
}

TEST(Clock, UnixTimeTextFromLocalTime) {
  using namespace std::chrono;
  // 1970-01-01 00:00:01.000 UTC expressed in the local zone of the test.
  for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York"}) {
    setenv("TZ", zone, 1);
    tzset();
    const std::time_t one = 1;
    std::tm local{};
    localtime_r(&one, &local);
    const auto day = local_days{year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday};
    const TLocalDateTime value = day + hours{local.tm_hour} + minutes{local.tm_min} + seconds{local.tm_sec};
    EXPECT_EQ(UnixTimeText(value, false), "1") << zone;
    EXPECT_EQ(UnixTimeText(value, true), "1000") << zone;
    EXPECT_EQ(UnixTimeText(value + milliseconds{7}, true), "1007") << zone;
  }
  unsetenv("TZ");
  tzset();
}

TEST(URL, ParseParts) {
  const auto p = ParseURL("https://user:pw@Host.example:8443/a/b/doc.html?x=1&y=2#frag");
  EXPECT_EQ(p.protocol, "https");
  EXPECT_EQ(p.host, "Host.example");
  EXPECT_EQ(p.port, "8443");
  EXPECT_EQ(p.path, "/a/b/doc.html");
  EXPECT_EQ(p.query, "x=1&y=2");
  const auto v6 = ParseURL("http://[::1]:80/");
  EXPECT_EQ(v6.host, "::1");
  EXPECT_EQ(v6.port, "80");
  const auto bare = ParseURL("wss://h");
  EXPECT_EQ(bare.host, "h");
  EXPECT_EQ(bare.port, "");
  EXPECT_EQ(bare.path, "");
  const auto empty = ParseURL("");
  EXPECT_EQ(empty.protocol + empty.host + empty.port + empty.path + empty.query, "");
}

TEST(URL, SplitWSEndpoint) {
  bool tls = false;
  std::string host = "unchanged";
  int port = -1;
  EXPECT_TRUE(SplitWSEndpoint("wss://host:443", tls, host, port));
  EXPECT_TRUE(tls);
  EXPECT_EQ(host, "host");
  EXPECT_EQ(port, 443);
  EXPECT_TRUE(SplitWSEndpoint("ws://other:80", tls, host, port));
  EXPECT_FALSE(tls);
  host = "unchanged";
  EXPECT_FALSE(SplitWSEndpoint("host:443", tls, host, port));
  EXPECT_EQ(host, "unchanged");
  EXPECT_THROW(SplitWSEndpoint("ws://h:x", tls, host, port), EConvertError);
}

TEST(DelimitedStringList, StrictSplitting) {
  TzorDelimitedStringList list;
  list.SetDelimitedText("a, b,\"c,d\",,");
  ASSERT_EQ(list.Count(), 6u);
  EXPECT_EQ(list[1], " b");
  EXPECT_EQ(list[2], "\"c");
  EXPECT_EQ(list[4], "");
  EXPECT_EQ(list.DelimitedText(), "a, b,\"c,d\",,");
  list.SetDelimiter(':');
  list.SetDelimitedText("");
  EXPECT_EQ(list.Count(), 0u);
}

TEST(Streams, TrimToTail) {
  TzorStringStream s("0123456789");
  TrimStreamToTail(s, 3);
  EXPECT_EQ(s.DataString(), "789");
  EXPECT_EQ(s.Position(), 3u);
  TrimStreamToTail(s, 10);
  EXPECT_EQ(s.DataString(), "789");
  TrimStreamToTail(s, 0);
  EXPECT_EQ(s.DataString(), "");
}

class OptionA : public TPersistent {
 public:
  const char* ClassName() const override { return "TOptionA"; }
  void Assign(const TPersistent& source) override {
    if (auto* a = dynamic_cast<const OptionA*>(&source)) {
      value = a->value;
      return;
    }
    TPersistent::Assign(source);
  }
  int value = 0;
};

class OptionB : public TPersistent {
 public:
  const char* ClassName() const override { return "TOptionB"; }
};

TEST(Persistent, AssignKnownClassCopiesUnrelatedFails) {
  OptionA a, b;
  b.value = 5;
  a.Assign(b);
  EXPECT_EQ(a.value, 5);
  try {
    a.Assign(OptionB());
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TOptionB to a TOptionA");
    EXPECT_STREQ(e.ClassName(), "EConvertError");
  }
}

TEST(Foundation, VersionAndProgramDirectory) {
  EXPECT_EQ(TzorComponent_Base().Version(), "2023.6.0");
  const std::string dir = ProgramDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  SetOpenSSLDirectory("/opt/ssl");
  EXPECT_EQ(OpenSSLDirectory(), "/opt/ssl/");
  SetOpenSSLDirectory("");
  EXPECT_EQ(OpenSSLDirectory(), "");
}

}  // namespace
}  // namespace zor
