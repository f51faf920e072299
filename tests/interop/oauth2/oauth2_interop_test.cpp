// OAuth2 against independent implementations: our authorization server
// driven by Python's requests-oauthlib and Node's openid-client, and our
// client against Node's oauth2-mock-server over HTTPS (client credentials,
// and the code grant with a scripted browser following the redirect, then a
// refresh).
#include <gtest/gtest.h>

#include <thread>

#include "http/http_client.h"
#include "oauth2/oauth2_client.h"
#include "tests/interop/peer_process.h"
#include "tests/interop/server/run_program.h"
#include "tests/net/test_pki.h"
#include "tests/oauth2/oauth2_test_support.h"

namespace zor {
namespace {

const std::string kSource = ZOR_SOURCE_DIR;

// Our authorization server over TLS with one application, for client
// libraries of others to drive.
struct OurAuthorizationServer : ::testing::Test {
  OurAuthorizationServer() {
    EXPECT_TRUE(oauth.RegisterApp("interop app", redirect, clientId, secret));
    test::AcceptUser(oauth, "alice", "p&ss w");
    const TzorTLSSettings tls = pki.ServerSettings();
    test::ServeOAuth2(server, oauth, &tls);
    base = "https://127.0.0.1:" + std::to_string(server.ListeningPort());
  }
  ~OurAuthorizationServer() override { server.SetActive(false); }

  test::TestPKI pki;
  TzorHTTPComponentServer_OAuth2 oauth;
  TzorWSHTTPServer server;
  const std::string redirect = "https://127.0.0.1:1/callback";
  std::string clientId, secret, base;
};

TEST_F(OurAuthorizationServer, DrivenByRequestsOAuthlib) {
  const std::string output =
      test::RunProgram({"/usr/bin/python3", kSource + "/tests/interop/oauth2/requests_oauthlib_client.py", base,
                        pki.CAFile(), clientId, secret, redirect});
  EXPECT_EQ(output,
            "redirect: state kept\n"
            "code grant: Bearer 3600 read write\n"
            "resource: protected data GET /data HTTP/1.1\n"
            "replayed code: invalid_grant\n"
            "refresh: same token 3600\n"
            "refresh token: replaced\n"
            "replayed refresh token: invalid_grant\n"
            "client credentials: Bearer 64\n"
            "wrong secret: invalid_client\n"
            "done\n");
}

TEST_F(OurAuthorizationServer, DrivenByOpenIdClient) {
  // Node trusts the test CA through its environment.
  const std::string output =
      test::RunProgram({"/usr/bin/env", "NODE_EXTRA_CA_CERTS=" + pki.CAFile(), "node",
                        kSource + "/tests/interop/oauth2/openid_client.mjs", base, clientId, secret, redirect});
  EXPECT_EQ(output,
            "code grant: bearer 3600 read write 64\n"
            "resource: 200 protected data GET /data HTTP/1.1\n"
            "replayed code: invalid_grant\n"
            "wrong verifier: invalid_grant\n"
            "refresh: same token 3600 new refresh token\n"
            "replayed refresh token: invalid_grant\n"
            "rotated refresh token: bearer\n"
            "client credentials: bearer jobs 64\n"
            "wrong secret: invalid_client\n"
            "done\n");
}

struct MockServer : ::testing::Test {
  MockServer() : port(test::FreeLoopbackPort()) {
    peer = std::make_unique<test::PeerProcess>(
        std::vector<std::string>{"node", kSource + "/tests/interop/oauth2/mock_server.mjs", std::to_string(port),
                                 pki.ServerKeyFile(), pki.ServerCertFile()},
        ::testing::TempDir() + "oauth2_mock_server_" + std::to_string(port) + ".log");
    EXPECT_TRUE(peer->WaitForOutput("listening on") && test::WaitForPort(port)) << peer->Output();
    base = "https://127.0.0.1:" + std::to_string(port);
    client.AuthorizationServerOptions().AuthURL = base + "/authorize";
    client.AuthorizationServerOptions().TokenURL = base + "/token";
    client.AuthorizationServerOptions().Scope = {"openid", "profile"};
    client.OAuth2Options().ClientId = "zor-client";
    client.OAuth2Options().ClientSecret = "zor-secret";
    client.LocalServerOptions().Port = 0;
    client.HTTPClientOptions().TLSOptions().SetRootCertFile(pki.CAFile());
    client.HTTPClientOptions().TLSOptions().SetVerifyCertificate(true);
    client.OnAuthToken = [this](TzorComponent_Base*, const std::string& type, const std::string& token,
                                const std::string&) { log.Record(type + " " + std::to_string(token.size() > 100)); };
    client.OnAuthTokenError = [this](TzorComponent_Base*, const std::string& error, const std::string& description,
                                     const std::string&) { log.Record("error " + error + ": " + description); };
  }
  ~MockServer() override {
    client.Stop();
    if (browser.joinable()) browser.join();
  }
  test::TestPKI pki;
  uint16_t port;
  std::unique_ptr<test::PeerProcess> peer;
  std::string base;
  TzorHTTPComponentClient_OAuth2 client;
  std::thread browser;
  test::EventLog log;
};

TEST_F(MockServer, ClientCredentials) {
  client.OAuth2Options().GrantType = auth2ClientCredentials;
  std::string scope;
  client.OnAfterAccessToken = [&](TzorComponent_Base*, const std::string&, const std::string&,
                                  const std::string& expires, const std::string&, const std::string& s,
                                  const std::string&, bool&) { scope = s + " " + expires; };
  client.Start();
  // A signed JWT, well over 100 characters.
  EXPECT_EQ(log.Wait(1), std::vector<std::string>{"Bearer 1"});
  EXPECT_EQ(scope, "openid profile 3600");
}

TEST_F(MockServer, CodeGrantWithPKCEThroughTheRedirectAndARefresh) {
  std::string listenerAnswer, refreshToken;
  client.WebBrowserOpener = [&](const std::string& url) {
    browser = std::thread([this, url, &listenerAnswer] {
      // The browser: the provider redirects at once; the redirect goes to our listener.
      try {
        TzorIdHTTP http;
        http.TLSOptions().SetRootCertFile(pki.CAFile());
        http.TLSOptions().SetVerifyCertificate(true);
        http.Get(url);
        listenerAnswer = test::Visit(http.Response().Field("Location"));
      } catch (const std::exception& e) {
        listenerAnswer = e.what();
        log.Record(std::string("browser failed: ") + e.what());
      }
    });
    return true;
  };
  client.OnAfterAccessToken = [&](TzorComponent_Base*, const std::string&, const std::string&, const std::string&,
                                  const std::string& refresh, const std::string&, const std::string&, bool&) {
    refreshToken = refresh;
  };
  client.Start();
  EXPECT_EQ(log.Wait(1), std::vector<std::string>{"Bearer 1"});
  browser.join();
  EXPECT_EQ(listenerAnswer, "HTTP/1.1 200 OK|The operation was successful, you can close your browser now.");
  EXPECT_EQ(client.RefreshInterval(), 1800 * 1000);

  ASSERT_FALSE(refreshToken.empty());
  bool refreshed = false;
  client.OnAfterRefreshToken = [&](TzorComponent_Base*, const std::string& access, const std::string&,
                                   const std::string& expires, const std::string&, const std::string&,
                                   const std::string&, bool&) { refreshed = !access.empty() && expires == "3600"; };
  client.Refresh(refreshToken);
  EXPECT_TRUE(refreshed);
  EXPECT_EQ(log.Wait(2)[1], "Bearer 1");
}

}  // namespace
}  // namespace zor
