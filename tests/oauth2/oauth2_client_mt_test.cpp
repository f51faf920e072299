// The OAuth2 client against our own authorization server over TLS on
// loopback: client credentials, the code grant with a scripted browser and
// the local listener, refresh, error answers, state checks, and the token
// handed to the HTTP client through the token-source events.
#include "oauth2/oauth2_client.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "base/url.h"
#include "http/http_client.h"
#include "http/http_exceptions.h"
#include "tests/net/test_pki.h"
#include "tests/oauth2/oauth2_test_support.h"
#include "websocket/ws_client.h"

namespace zor {
namespace {

struct OAuth2ClientOnServer : ::testing::Test {
  OAuth2ClientOnServer() {
    test::AcceptUser(oauth, "alice", "pw");
    const TzorTLSSettings tls = pki.ServerSettings();
    test::ServeOAuth2(server, oauth, &tls);
    base = "https://127.0.0.1:" + std::to_string(server.ListeningPort());

    client.LocalServerOptions().Port = 0;
    client.AuthorizationServerOptions().AuthURL = base + "/zor/oauth2/auth";
    client.AuthorizationServerOptions().TokenURL = base + "/zor/oauth2/token";
    client.AuthorizationServerOptions().Scope = {"read"};
    Trust(client.HTTPClientOptions().TLSOptions());
    client.OnAuthToken = [this](TzorComponent_Base*, const std::string& type, const std::string& token,
                                const std::string&) { log.Record("token " + type + " " + token); };
    client.OnAuthTokenError = [this](TzorComponent_Base*, const std::string& error, const std::string& description,
                                     const std::string&) { log.Record("error " + error + ": " + description); };
  }
  ~OAuth2ClientOnServer() override {
    client.Stop();
    if (browser.joinable()) browser.join();
    server.SetActive(false);
  }

  void Trust(TzorIdHTTPTLS_Options& tls) {
    tls.SetRootCertFile(pki.CAFile());
    tls.SetVerifyCertificate(true);
  }
  void Register(const std::string& redirect) {
    ASSERT_TRUE(oauth.RegisterApp("app", redirect, client.OAuth2Options().ClientId,
                                  client.OAuth2Options().ClientSecret));
  }
  // What a browser does with the address: shows the page, signs in, follows
  // the redirect to the listener. Answers what the listener sent.
  std::string Browse(const std::string& url, const std::string& password = "pw") {
    TzorIdHTTP http;
    Trust(http.TLSOptions());
    const std::string page = http.Get(url);
    std::smatch match;
    if (!std::regex_search(page, match, std::regex("name=\"id\" value=\"([0-9a-f]{64})\""))) return "no page";
    TzorStringStream form("request_type=sign-in&username=alice&password=" + password + "&id=" + match[1].str());
    TzorStringStream ignored;
    http.Request().ContentType = "application/x-www-form-urlencoded";
    try {
      http.Post(base + "/zor/oauth2/auth", form, ignored);
    } catch (const EIdHTTPProtocolException& e) {
      return std::to_string(e.ErrorCode());
    }
    return test::Visit(http.Response().Field("Location"));
  }
  // The browser runs on a thread of its own, as a real one would; a failure
  // of it is an event the test sees.
  void StartBrowser(std::function<void(const std::string&)> act) {
    client.WebBrowserOpener = [this, act](const std::string& url) {
      browser = std::thread([this, act, url] {
        try {
          act(url);
        } catch (const std::exception& e) {
          log.Record(std::string("browser failed: ") + e.what());
        }
      });
      return true;
    };
  }

  test::TestPKI pki;
  TzorHTTPComponentServer_OAuth2 oauth;
  TzorWSHTTPServer server;
  std::string base;
  TzorHTTPComponentClient_OAuth2 client;
  std::thread browser;
  test::EventLog log;
};
TEST_F(OAuth2ClientOnServer, ClientCredentialsTokenAndItsRefresh) {
  Register("http://127.0.0.1:1/");
  client.OAuth2Options().GrantType = auth2ClientCredentials;
  std::string refreshToken;
  client.OnAfterAccessToken = [&](TzorComponent_Base*, const std::string&, const std::string& type,
                                  const std::string& expires, const std::string& refresh, const std::string& scope,
                                  const std::string&, bool&) {
    refreshToken = refresh;
    EXPECT_EQ(type + " " + expires + " " + scope, "Bearer 3600 read");
  };
  client.Start();
  const auto first = log.Wait(1);
  ASSERT_TRUE(std::regex_match(first[0], std::regex("token Bearer [0-9a-f]{64}"))) << first[0];
  EXPECT_EQ(client.RefreshInterval(), 1800 * 1000);
  EXPECT_FALSE(client.LocalServerActive());

  client.Refresh(refreshToken);
  EXPECT_EQ(log.Wait(2)[1], first[0]);
  // The refreshed token is renewed before it runs out.
  EXPECT_EQ(client.RefreshInterval(), 1800 * 1000);
  client.Stop();
  EXPECT_EQ(client.RefreshInterval(), 0);
}

TEST_F(OAuth2ClientOnServer, HandledTokenIsNotPassedOnAndSchedulesNothing) {
  Register("http://127.0.0.1:1/");
  client.OAuth2Options().GrantType = auth2ClientCredentials;
  bool seen = false;
  client.OnAfterAccessToken = [&](TzorComponent_Base*, const std::string&, const std::string&, const std::string&,
                                  const std::string&, const std::string&, const std::string&, bool& handled) {
    seen = handled = true;
  };
  client.Start();
  EXPECT_TRUE(seen);
  EXPECT_EQ(client.RefreshInterval(), 0);
  EXPECT_TRUE(log.Now().empty());
}

TEST_F(OAuth2ClientOnServer, ErrorAnswersOfTheTokenAddressReachTheEvents) {
  Register("http://127.0.0.1:1/");
  client.OAuth2Options().GrantType = auth2ClientCredentials;
  client.OAuth2Options().ClientSecret = "wrong";
  std::string error;
  client.OnErrorAccessToken = [&](TzorComponent_Base*, const std::string& e, const std::string& description,
                                  const std::string&, const std::string& raw) {
    error = e + "|" + description + "|" + raw;
  };
  client.Start();
  EXPECT_EQ(error,
            "invalid_client|ClientSecret is different from the registered value|"
            "{\"error\":\"invalid_client\",\"error_description\":\"ClientSecret is different from the registered value\"}");
  EXPECT_EQ(log.Wait(1)[0], "error invalid_client: ClientSecret is different from the registered value");
}

TEST_F(OAuth2ClientOnServer, CodeGrantThroughTheBrowserAndTheListener) {
  client.LocalServerOptions().Port = 0;
  std::string listened;
  StartBrowser([&](const std::string& url) { listened = Browse(url); });
  // The redirect address names the listener's port, known once it listens.
  Register("unknown yet");
  client.OnBeforeAuthorizeCode = [&](TzorComponent_Base*, std::string& url, bool&) {
    std::smatch match;
    ASSERT_TRUE(std::regex_search(url, match, std::regex("redirect_uri=([^&]+)")));
    ASSERT_TRUE(PercentDecodeStrict(match[1].str(), true, oauth.GetApp("app")->RedirectURI));
  };
  client.Start();
  const auto got = log.Wait(1);
  browser.join();
  EXPECT_EQ(listened, "HTTP/1.1 200 OK|The operation was successful, you can close your browser now.");
  ASSERT_TRUE(std::regex_match(got[0], std::regex("token Bearer [0-9a-f]{64}"))) << got[0];
  // The listener goes once it has answered.
  for (int i = 0; i < 2000 && client.LocalServerActive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(client.LocalServerActive());

  // And the token opens the server's protected resources to the HTTP client.
  TzorIdHTTP http;
  Trust(http.TLSOptions());
  EXPECT_THROW(http.Get(base + "/data"), EIdHTTPProtocolException);
  http.Authentication().Token().SetOAuth(&client);
  client.OAuth2Options().GrantType = auth2ClientCredentials;
  EXPECT_EQ(http.Get(base + "/data"), "protected data GET /data HTTP/1.1");
}

TEST_F(OAuth2ClientOnServer, RedirectsThatDoNotBelongAreRefused) {
  client.LocalServerOptions().Port = 0;
  Register("http://127.0.0.1:1/");
  std::vector<std::string> errors;
  client.OnErrorAuthorizeCode = [&](TzorComponent_Base*, const std::string& error, const std::string& description,
                                    const std::string&, const std::string& state, const std::string&) {
    errors.push_back(error + "|" + description + "|" + state);
  };
  int tokenRequests = 0;
  client.OnBeforeAccessToken = [&](TzorComponent_Base*, std::string&, std::string&, bool&) { ++tokenRequests; };
  std::string url;
  client.WebBrowserOpener = [&](const std::string& u) { return url = u, true; };

  client.Start();
  const std::string listener = client.RedirectAddress();
  EXPECT_EQ(test::Visit(listener + "/favicon.ico"), "HTTP/1.1 404 Not Found|");
  EXPECT_EQ(test::Visit(listener + "/?code=stolen&state=forged"),
            "HTTP/1.1 500 Internal Server Error|The answer does not belong to a sign-in of this application.");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(std::regex_match(errors[0], std::regex("\\|State Value forged is different from request [0-9A-F]{32}\\|forged")))
      << errors[0];

  // A state is used once: after its redirect, the same one is refused too.
  client.Start();
  std::smatch match;
  ASSERT_TRUE(std::regex_search(url, match, std::regex("state=([0-9A-F]{32})")));
  const std::string state = match[1].str();
  EXPECT_EQ(test::Visit(client.RedirectAddress() + "/?error=access_denied&state=" + state),
            "HTTP/1.1 400 Bad Request|The sign-in failed: access_denied");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1], "access_denied||" + state);
  EXPECT_EQ(tokenRequests, 0);
  client.Stop();
}

TEST_F(OAuth2ClientOnServer, WebSocketClientAuthenticatesWithTheToken) {
  Register("http://127.0.0.1:1/");
  client.OAuth2Options().GrantType = auth2ClientCredentials;
  server.OnMessage = [](TzorWSConnection* c, const std::string& text) { c->WriteData("echo:" + text); };
  const auto connect = [&](TzorWSClient& ws, bool withToken) {
    ws.SetNotifyEvents(neNoSync);
    ws.SetURL("wss://127.0.0.1:" + std::to_string(server.ListeningPort()) + "/chat");
    ws.TLSOptions().SetRootCertFile(pki.CAFile());
    ws.TLSOptions().SetVerifyCertificate(true);
    if (withToken) {
      ws.Authentication().SetEnabled(true);
      ws.Authentication().Token().SetEnabled(true);
      ws.Authentication().Token().SetOAuth(&client);
    }
    return ws.Connect(20000);
  };
  TzorWSClient ws;
  ws.OnMessage = [this](TzorWSConnection*, const std::string& text) { log.Record("message " + text); };
  ASSERT_TRUE(connect(ws, true));
  ws.WriteData("hi");
  EXPECT_EQ(log.Wait(1)[0], "message echo:hi");
  ws.SetActive(false);

  TzorWSClient anonymous;
  EXPECT_FALSE(connect(anonymous, false));
}

}  // namespace
}  // namespace zor
