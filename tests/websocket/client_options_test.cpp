#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "websocket/client_authentication.h"
#include "websocket/client_options.h"

namespace zor {
namespace {

TEST(WSClientOptions, DefaultsAtCreation) {
  TzorWSOptionsClient options;
  EXPECT_FALSE(options.CleanDisconnect());
  EXPECT_EQ(options.Parameters(), "/");
  EXPECT_EQ(options.FragmentedMessages(), frgOnlyBuffer);
  EXPECT_TRUE(options.RaiseDisconnectExceptions());
  EXPECT_FALSE(options.ValidateUTF8());
  EXPECT_EQ(TzorWSProxy_Options().Port(), 8080);
  EXPECT_EQ(TzorWSProxy_Options().ProxyType(), pxyHTTP);

  TzorWSAuthenticationClient_Options auth;
  EXPECT_FALSE(auth.Enabled());
  EXPECT_TRUE(auth.URL().Enabled());
  EXPECT_FALSE(auth.Session().Enabled());
  EXPECT_FALSE(auth.Basic().Enabled());
  EXPECT_FALSE(auth.Token().Enabled());
}

TEST(WSClientOptions, ParametersGetALeadingSlash) {
  TzorWSOptionsClient options;
  options.SetParameters("chat?x=1");
  EXPECT_EQ(options.Parameters(), "/chat?x=1");
  options.SetParameters("/a");
  EXPECT_EQ(options.Parameters(), "/a");
}

TEST(WSClientOptions, AssignCopiesEveryFieldAndRefusesStrangers) {
  TzorWSOptionsClient a, b;
  a.SetCleanDisconnect(true);
  a.SetParameters("/p");
  a.SetFragmentedMessages(frgAll);
  a.SetOrigin("o");
  a.SetRaiseDisconnectExceptions(false);
  a.SetValidateUTF8(true);
  b.Assign(a);
  EXPECT_TRUE(b.CleanDisconnect());
  EXPECT_EQ(b.Parameters(), "/p");
  EXPECT_EQ(b.FragmentedMessages(), frgAll);
  EXPECT_EQ(b.Origin(), "o");
  EXPECT_FALSE(b.RaiseDisconnectExceptions());
  EXPECT_TRUE(b.ValidateUTF8());

  try {
    b.Assign(TzorWSThrottle());
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzorWSThrottle to a TzorWSOptionsClient");
  }
}

TEST(WSClientOptions, TLSOptionsCopyWhole) {
  TzorWSTLS_Options a, b;
  a.SetCertFile("c");
  a.SetKeyFile("k");
  a.SetRootCertFile("r");
  a.SetVerifyCertificate(true);
  a.SetVerifyDepth(3);
  a.SetVersion(tls1_3);
  a.SetIOHandler(iohSChannel);
  a.SetALPNProtocols({"h2"});
  a.SChannel_Options().SetCipherList("x");
  b.Assign(a);
  EXPECT_EQ(b.CertFile(), "c");
  EXPECT_EQ(b.KeyFile(), "k");
  EXPECT_EQ(b.RootCertFile(), "r");
  EXPECT_TRUE(b.VerifyCertificate());
  EXPECT_EQ(b.VerifyDepth(), 3);
  EXPECT_EQ(b.Version(), tls1_3);
  EXPECT_EQ(b.IOHandler(), iohSChannel);
  EXPECT_EQ(b.ALPNProtocols(), std::vector<std::string>{"h2"});
  EXPECT_EQ(b.SChannel_Options().CipherList(), "x");
}

class TokenSource : public TzorHTTPComponentClientAuthToken_Base {
 public:
  void Start() override {}
};

TEST(WSClientOptions, AuthenticationCopiesSubOptionsAndRefersToTokenSources) {
  TzorWSAuthenticationClient_Options a, b;
  a.SetEnabled(true);
  a.SetUser("u");
  a.SetPassword("p");
  a.URL().SetEnabled(false);
  a.Basic().SetEnabled(true);
  a.Session().SetID("id");
  a.Token().SetEnabled(true);
  a.Token().SetAuthName("Bearer");
  a.Token().SetAuthToken("t");
  {
    TokenSource source;
    a.Token().SetJWT(&source);
    b.Assign(a);
    EXPECT_EQ(b.Token().JWT(), &source);
  }
  // A source that went away reads as none.
  EXPECT_EQ(b.Token().JWT(), nullptr);
  EXPECT_TRUE(b.Enabled());
  EXPECT_EQ(b.User(), "u");
  EXPECT_EQ(b.Password(), "p");
  EXPECT_FALSE(b.URL().Enabled());
  EXPECT_TRUE(b.Basic().Enabled());
  EXPECT_EQ(b.Session().ID(), "id");
  EXPECT_TRUE(b.Token().Enabled());
  EXPECT_EQ(b.Token().AuthName(), "Bearer");
  EXPECT_EQ(b.Token().AuthToken(), "t");

  EXPECT_THROW(b.Basic().Assign(a.URL()), EConvertError);
}

}  // namespace
}  // namespace zor
