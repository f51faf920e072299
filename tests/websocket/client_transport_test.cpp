#include <gtest/gtest.h>

#include "tests/net/test_pki.h"
#include "websocket/client_transport.h"

namespace zor {
namespace {

TEST(WSClientTransport, ALPNOffer) {
  using Lines = std::vector<std::string>;
  const struct {
    Lines configured;
    bool rfc8441;
    Lines offer;
  } cases[] = {
      {{}, false, {}},
      {{}, true, {"h2", "http/1.1"}},  // HTTP/1.1 stays possible for a server without HTTP/2
      {{"http/1.1"}, true, {"http/1.1", "h2"}},
      {{"h2"}, true, {"h2"}},
      {{"x", "h2", "y"}, true, {"x", "h2", "y"}},
      {{"http/1.1"}, false, {"http/1.1"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ALPNOffer(c.configured, c.rfc8441), c.offer) << ::testing::PrintToString(c.configured) << c.rfc8441;
}

// The offer belongs to one connection: the options keep what the application
// set, so a later connection without RFC 8441 offers no "h2".
TEST(WSClientTransport, EitherProviderOffersPerConnectionWithoutChangingTheOptions) {
  test::TestPKI pki;
  for (TwsTLSIOHandler provider : {iohOpenSSL, iohSChannel}) {
    TzorWSTLS_Options options;
    options.SetIOHandler(provider);
    options.SetRootCertFile(pki.CAFile());
    TzorWSClientTransport transport;
    transport.PrepareTLS(true, options, true);
    ASSERT_NE(transport.TLSContext(), nullptr);
    EXPECT_EQ(transport.TLSContext()->Settings().ALPNProtocols, (std::vector<std::string>{"h2", "http/1.1"}));
    EXPECT_TRUE(options.ALPNProtocols().empty());
    transport.PrepareTLS(true, options, false);
    EXPECT_TRUE(transport.TLSContext()->Settings().ALPNProtocols.empty()) << provider;
    options.SetALPNProtocols({"chat"});
    transport.PrepareTLS(true, options, false);
    EXPECT_EQ(transport.TLSContext()->Settings().ALPNProtocols, std::vector<std::string>{"chat"}) << provider;
    transport.PrepareTLS(false, options, true);
    EXPECT_EQ(transport.TLSContext(), nullptr);
  }
}

TEST(WSClientTransport, ContextFromTheApplicationIsTakenUnchanged) {
  test::TestPKI pki;
  TzorWSTLS_Options other;
  other.SetRootCertFile(pki.CAFile());
  auto own = NewClientTLSContext(other, nullptr);
  TzorWSTLS_Options options;
  TzorWSClientTransport transport;
  transport.PrepareTLS(true, options, false, [&] { return own; });
  EXPECT_EQ(transport.TLSContext(), own);
}

TEST(WSClientTransport, InterceptChain) {
  test::TestPKI scratch;
  TzorWSClientTransport transport;
  TzorWSThrottle throttle;
  throttle.SetEnabled(true);
  throttle.SetBitsPerSec(8000);
  transport.PrepareIntercepts({}, throttle);
  EXPECT_TRUE(transport.ThrottleActive());
  EXPECT_FALSE(transport.LogActive());
  EXPECT_EQ(transport.ThrottleIntercept().BitsPerSec(), 8000u);

  // A log without a file name stays out of the chain.
  transport.PrepareIntercepts({true, "", false}, TzorWSThrottle());
  EXPECT_FALSE(transport.LogActive());
  EXPECT_FALSE(transport.ThrottleActive());

  const std::string file = scratch.Dir() + "/ws.log";
  transport.PrepareIntercepts({true, file, true}, TzorWSThrottle());
  EXPECT_TRUE(transport.LogActive());
  EXPECT_TRUE(transport.LogIntercept()->Active());
  EXPECT_TRUE(transport.LogIntercept()->UnMaskFrames());
  EXPECT_FALSE(transport.LogIntercept()->ReplaceCRLF());
  // While it is open the file name stays.
  transport.PrepareIntercepts({true, file + ".other", false}, TzorWSThrottle());
  EXPECT_EQ(transport.LogIntercept()->FileName(), file);
  transport.PrepareIntercepts({false, file, false}, TzorWSThrottle());
  EXPECT_FALSE(transport.LogIntercept()->Active());
  EXPECT_FALSE(transport.LogActive());
}

}  // namespace
}  // namespace zor
