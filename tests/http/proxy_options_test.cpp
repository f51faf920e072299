// Proxy and log option objects of the HTTP client.
#include "http/proxy_options.h"

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "net/net_errors.h"

namespace zor {
namespace {

TEST(ProxyOptions, DefaultsAssignAndSettings) {
  TzorHTTPProxy_Options o;
  EXPECT_FALSE(o.Enabled());
  EXPECT_EQ(o.ProxyType(), pxyHTTP);
  EXPECT_EQ(o.Port(), 0);
  EXPECT_EQ(o.Host(), "");

  TzorHTTPProxy_Options source;
  source.SetEnabled(true);
  source.SetHost("proxy.local");
  source.SetPort(1080);
  source.SetProxyType(pxySocks4A);
  source.SetUsername("u");
  source.SetPassword("p");
  o.Assign(source);
  const TzorProxySettings s = ProxySettings(o);
  EXPECT_TRUE(s.Enabled);
  EXPECT_EQ(s.ProxyType, pxySocks4A);
  EXPECT_EQ(s.Host, "proxy.local");
  EXPECT_EQ(s.Port, 1080);
  EXPECT_EQ(s.Username, "u");
  EXPECT_EQ(s.Password, "p");

  o.SetPort(70000);
  EXPECT_THROW(ProxySettings(o), EzorProxyError);

  TzorHttpLogFile log, log_copy;
  log.SetFileName("traffic.log");
  log_copy.Assign(log);
  EXPECT_EQ(log_copy.FileName(), "traffic.log");
  try {
    log_copy.Assign(o);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzorHTTPProxy_Options to a TzorHttpLogFile");
  }
}

}  // namespace
}  // namespace zor
