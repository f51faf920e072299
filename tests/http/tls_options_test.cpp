// The TLS option classes: defaults, the assignment rules of each class, and
// the transport built from them.
#include "http/tls_options.h"

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "base/paths.h"
#include "net/net_errors.h"

namespace zor {
namespace {

template <class Options>
void Fill(Options& o) {
  o.SetCertFile("cert.pem");
  o.SetKeyFile("key.pem");
  o.SetPassword("pw");
  o.SetRootCertFile("roots.pem");
  o.SetVerifyCertificate(true);
  o.SetVerifyDepth(7);
  o.SetVersion(tls1_3);
  if constexpr (std::is_base_of_v<TzorSocketTLS_Options, Options>) {
    o.SetIOHandler(iohSChannel);
    o.SetALPNProtocols({"h2", "http/1.1"});
    o.OpenSSL_Options().SetAPIVersion(oslAPI_3_0);
    o.OpenSSL_Options().SetLibPath(oslpCustomPath);
    o.OpenSSL_Options().SetLibPathCustom("/opt/ssl");
    o.OpenSSL_Options().SetUnixSymLinks(oslsSymLinksDontLoad);
    o.SChannel_Options().SetCertHash("AB");
    o.SChannel_Options().SetCertStoreName(scsnCA);
    o.SChannel_Options().SetCertStorePath(scspStoreLocalMachine);
    o.SChannel_Options().SetCipherList("AES");
  }
}

TEST(TLSOptions, Defaults) {
  TzorIdHTTPTLS_Options o;
  EXPECT_EQ(o.Version(), tlsUndefined);
  EXPECT_EQ(o.IOHandler(), iohOpenSSL);
  EXPECT_FALSE(o.VerifyCertificate());
  EXPECT_EQ(o.VerifyDepth(), 0);
  EXPECT_EQ(o.CertFile(), "");
  EXPECT_TRUE(o.ALPNProtocols().empty());
  EXPECT_EQ(o.OpenSSL_Options().APIVersion(), oslAPI_1_0);
  EXPECT_EQ(o.OpenSSL_Options().LibPath(), oslpNone);
  EXPECT_EQ(o.OpenSSL_Options().UnixSymLinks(), oslsSymLinksDefault);
  EXPECT_EQ(o.SChannel_Options().CertStoreName(), scsnMY);
  EXPECT_EQ(o.SChannel_Options().CertStorePath(), scspStoreCurrentUser);
  EXPECT_EQ(sizeof(TwsTLSVersions), 1u);
  EXPECT_EQ(static_cast<int>(tls1_3), 4);
  EXPECT_EQ(static_cast<int>(oslpCustomPath), 2);
  EXPECT_EQ(static_cast<int>(scsnCA), 3);
}

TEST(TLSOptions, SocketOptionsAssignCopiesOnlyHandlerALPNAndOpenSSL) {
  TzorSocketTLS_Options source, target;
  Fill(source);
  target.SetCertFile("mine.pem");
  target.SetVersion(tls1_2);
  target.OpenSSL_Options().SetUnixSymLinks(oslsSymLinksLoad);
  target.Assign(source);
  EXPECT_EQ(target.IOHandler(), iohSChannel);
  EXPECT_EQ(target.ALPNProtocols(), (std::vector<std::string>{"h2", "http/1.1"}));
  EXPECT_EQ(target.OpenSSL_Options().APIVersion(), oslAPI_3_0);
  EXPECT_EQ(target.OpenSSL_Options().LibPathCustom(), "/opt/ssl");
  EXPECT_EQ(target.OpenSSL_Options().UnixSymLinks(), oslsSymLinksLoad);  // never copied
  EXPECT_EQ(target.CertFile(), "mine.pem");
  EXPECT_EQ(target.Version(), tls1_2);
  EXPECT_FALSE(target.VerifyCertificate());
  EXPECT_EQ(target.SChannel_Options().CertHash(), "");

  // From a plain base object: the base's seven fields.
  TzorTCPTLS_Options_Base base;
  Fill(base);
  target.Assign(base);
  EXPECT_EQ(target.CertFile(), "cert.pem");
  EXPECT_EQ(target.VerifyDepth(), 7);
  EXPECT_EQ(target.Version(), tls1_3);
}

TEST(TLSOptions, HTTPOptionsAssignFromTCPOptionsCopiesAllButDepth) {
  TzorTCPTLS_Options source;
  Fill(source);
  TzorIdHTTPTLS_Options target;
  target.SetVerifyDepth(3);
  target.Assign(source);
  EXPECT_EQ(target.CertFile(), "cert.pem");
  EXPECT_EQ(target.KeyFile(), "key.pem");
  EXPECT_EQ(target.Password(), "pw");
  EXPECT_EQ(target.RootCertFile(), "roots.pem");
  EXPECT_EQ(target.Version(), tls1_3);
  EXPECT_TRUE(target.VerifyCertificate());
  EXPECT_EQ(target.VerifyDepth(), 3);
  EXPECT_EQ(target.IOHandler(), iohSChannel);
  EXPECT_EQ(target.ALPNProtocols().size(), 2u);
  EXPECT_EQ(target.OpenSSL_Options().LibPath(), oslpCustomPath);
  EXPECT_EQ(target.SChannel_Options().CertHash(), "AB");
  EXPECT_EQ(target.SChannel_Options().CertStoreName(), scsnCA);
  EXPECT_EQ(target.SChannel_Options().CertStorePath(), scspStoreLocalMachine);
  EXPECT_EQ(target.SChannel_Options().CipherList(), "AES");

  // From a TzorSocketTLS_Options that is not a TCP one: the narrower rule.
  TzorSocketTLS_Options socket_options;
  Fill(socket_options);
  socket_options.SetCertFile("other.pem");
  socket_options.SChannel_Options().SetCertHash("CD");
  target.Assign(socket_options);
  EXPECT_EQ(target.CertFile(), "cert.pem");
  EXPECT_EQ(target.SChannel_Options().CertHash(), "AB");
}

TEST(TLSOptions, UnrelatedSourcesFailWithBothClassNames) {
  TzorIdHTTPTLS_Options tls;
  TzorOpenSSLClient_Options openssl;
  try {
    tls.Assign(openssl);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzorOpenSSLClient_Options to a TzorIdHTTPTLS_Options");
  }
  TzorSChannelClient_Options schannel;
  EXPECT_THROW(openssl.Assign(schannel), EConvertError);
  EXPECT_THROW(schannel.Assign(tls), EConvertError);
  // Writing an owned option object copies values into it.
  TzorTCPOpenSSL_Options values;
  values.SetAPIVersion(oslAPI_1_1);
  tls.SetOpenSSL_Options(values);
  EXPECT_EQ(tls.OpenSSL_Options().APIVersion(), oslAPI_1_1);
  TzorSSL_Verify_Certificate_Options a, b;
  a.SetFailIfNoCertificate(true);
  b.Assign(a);
  EXPECT_TRUE(b.FailIfNoCertificate());
}

TEST(TLSOptions, BuildingTheTransportSetsProcessWideOpenSSLChoices) {
  TzorIdHTTPTLS_Options o;
  o.SetVersion(tls1_2);
  o.OpenSSL_Options().SetAPIVersion(oslAPI_1_1);
  o.OpenSSL_Options().SetLibPath(oslpCustomPath);
  o.OpenSSL_Options().SetLibPathCustom("/opt/openssl");
  auto context = NewClientTLSContext(o, nullptr);
  ASSERT_TRUE(context);
  EXPECT_EQ(context->Settings().Version, tls1_2);
  EXPECT_EQ(OpenSSLAPIVersion(), oslAPI_1_1);
  EXPECT_EQ(OpenSSLDirectory(), "/opt/openssl/");
  EXPECT_EQ(OpenSSLLibraryNames(oslAPI_1_1).front(), "/opt/openssl/libcrypto.so.1.1");

  o.OpenSSL_Options().SetLibPathCustom("");  // custom path, empty: cleared
  NewClientTLSContext(o, nullptr);
  EXPECT_EQ(OpenSSLDirectory(), "");
  o.OpenSSL_Options().SetLibPath(oslpDefaultFolder);
  NewClientTLSContext(o, nullptr);
  EXPECT_EQ(OpenSSLDirectory(), ProgramDirectory());
  o.OpenSSL_Options().SetLibPath(oslpNone);  // left as it is
  o.OpenSSL_Options().SetAPIVersion(oslAPI_3_0);
  NewClientTLSContext(o, nullptr);
  EXPECT_EQ(OpenSSLDirectory(), ProgramDirectory());
  EXPECT_EQ(OpenSSLAPIVersion(), oslAPI_3_0);
  SetOpenSSLDirectory("");

  o.SetIOHandler(iohSChannel);
  o.SChannel_Options().SetCipherList("CALG_AES_256");
  auto platform = NewClientTLSContext(o, nullptr);
  ASSERT_TRUE(platform);
  EXPECT_EQ(platform->Settings().Version, tls1_2);
  EXPECT_EQ(platform->Settings().CipherList, "CALG_AES_256");
  bool used = false;
  SetPlatformTLSProvider([&](const TzorSocketTLS_Options&, const std::function<std::string()>& password,
                             const std::vector<std::string>&) {
    used = password() == "pw";
    return std::shared_ptr<const TzorTLSContext>();
  });
  o.SetPassword("pw");
  NewClientTLSContext(o, nullptr);
  EXPECT_TRUE(used);
  SetPlatformTLSProvider(nullptr);
}

// The HTTP client's platform transport offers no ALPN whatever the options
// say; a list handed over explicitly is offered by either provider.
TEST(TLSOptions, ALPNOfEachProvider) {
  TzorIdHTTPTLS_Options o;
  o.SetALPNProtocols({"http/1.1"});
  const std::vector<std::string> offer{"h2", "http/1.1"};
  const struct {
    TwsTLSIOHandler provider;
    const std::vector<std::string>* alpn;
    std::vector<std::string> offered;
  } cases[] = {
      {iohOpenSSL, nullptr, {"http/1.1"}},
      {iohSChannel, nullptr, {}},
      {iohOpenSSL, &offer, offer},
      {iohSChannel, &offer, offer},
  };
  for (const auto& c : cases) {
    o.SetIOHandler(c.provider);
    auto context = NewClientTLSContext(o, nullptr, {}, c.alpn);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->Settings().ALPNProtocols, c.offered) << c.provider << " " << (c.alpn != nullptr);
  }
}

TEST(TLSOptions, SettingsFollowTheOptions) {
  TzorIdHTTPTLS_Options o;
  Fill(o);
  const TzorTLSSettings s = ClientTLSSettings(o);
  EXPECT_EQ(s.Side, TzorTLSSide::tlsClient);
  EXPECT_EQ(s.Version, tls1_3);
  EXPECT_EQ(s.ALPNProtocols, (std::vector<std::string>{"h2", "http/1.1"}));
  EXPECT_EQ(s.RootCertFile, "roots.pem");
  EXPECT_EQ(s.CertFile, "cert.pem");
  EXPECT_EQ(s.KeyFile, "key.pem");
  EXPECT_TRUE(s.VerifyCertificate);
  EXPECT_EQ(s.VerifyDepth, -1);  // kept in the options, not applied
}

}  // namespace
}  // namespace zor
