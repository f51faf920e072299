// The browser part of the code grant in a real browser: a WebSocket client
// whose token source is our OAuth2 client opens headless Chromium on our
// server's sign-in page; the page is filled in and its form submitted, the
// redirect with the code reaches the client's local listener, and the token
// from the exchange opens the WebSocket connection to the same server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "oauth2/oauth2_client.h"
#include "tests/interop/server/run_program.h"
#include "tests/net/test_pki.h"
#include "tests/oauth2/oauth2_test_support.h"
#include "websocket/ws_client.h"

namespace zor {
namespace {

// Stands in for the person at the keyboard: types into the page's own form
// and presses its button.
constexpr const char* kTypist = R"(<script>
document.querySelector('input[name=username]').value = 'alice smith';
document.querySelector('input[name=password]').value = 'p&ss w=rd';
document.querySelector('button[type=submit]').click();
</script>)";

struct ChromiumSignIn : ::testing::Test {
  ChromiumSignIn() {
    test::AcceptUser(oauth, "alice smith", "p&ss w=rd");
    oauth.OnOAuth2BeforeDispatchPage = [this](TzorComponent_Base*, const TzorHTTPOAuth2Request&, std::string& html) {
      ++pages;
      html.insert(html.rfind("</body>"), kTypist);
    };
    const TzorTLSSettings tls = pki.ServerSettings();
    test::ServeOAuth2(server, oauth, &tls);
    server.OnMessage = [](TzorWSConnection* c, const std::string& text) { c->WriteData("echo:" + text); };
    const std::string base = "https://127.0.0.1:" + std::to_string(server.ListeningPort());

    client.LocalServerOptions().Port = 0;
    client.AuthorizationServerOptions().AuthURL = base + "/zor/oauth2/auth";
    client.AuthorizationServerOptions().TokenURL = base + "/zor/oauth2/token";
    client.AuthorizationServerOptions().Scope = {"chat"};
    client.HTTPClientOptions().TLSOptions().SetRootCertFile(pki.CAFile());
    client.HTTPClientOptions().TLSOptions().SetVerifyCertificate(true);
    EXPECT_TRUE(oauth.RegisterApp("Chat", "unknown yet", client.OAuth2Options().ClientId,
                                  client.OAuth2Options().ClientSecret));
    // The redirect address names the listener's port, known once it listens.
    client.OnBeforeAuthorizeCode = [this](TzorComponent_Base*, std::string&, bool&) {
      oauth.GetApp("Chat")->RedirectURI = client.RedirectAddress();
    };
    // The browser ends on the listener's page once the redirect arrived.
    client.WebBrowserOpener = [this](const std::string& url) {
      browser = std::thread([this, url] {
        const std::string dom = Chromium(url);
        const bool arrived = dom.find("The operation was successful, you can close your browser now.") != std::string::npos;
        log.Record(arrived ? "browser on the listener's page" : "browser failed: " + dom);
      });
      return true;
    };
  }
  ~ChromiumSignIn() override {
    client.Stop();
    if (browser.joinable()) browser.join();
    server.SetActive(false);
  }

  // The page Chromium ends on, as its DOM. The test CA is not among the
  // browser's, so it is told to take the server's certificate as it is.
  std::string Chromium(const std::string& url) {
    const std::string profile = ::testing::TempDir() + "oauth2_chromium_" + std::to_string(server.ListeningPort());
    std::error_code ignored;
    std::filesystem::remove_all(profile, ignored);
    const std::string out =
        test::RunProgram({"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                          "--disable-background-networking", "--disable-component-update", "--disable-sync",
                          "--ignore-certificate-errors", "--user-data-dir=" + profile, "--virtual-time-budget=10000",
                          "--dump-dom", url});
    // Helpers of a browser that was stopped may still be writing there.
    std::filesystem::remove_all(profile, ignored);
    return out;
  }

  test::TestPKI pki;
  TzorHTTPComponentServer_OAuth2 oauth;
  TzorWSHTTPServer server;
  TzorHTTPComponentClient_OAuth2 client;
  std::thread browser;
  int pages = 0;
  test::EventLog log;
};

TEST_F(ChromiumSignIn, BrowserSignsInOnOurPageAndTheTokenOpensAWebSocket) {
  if (test::FindProgram("chromium").empty()) GTEST_SKIP() << "chromium is not installed (scripts/install-deps)";
  TzorWSClient ws;
  ws.SetNotifyEvents(neNoSync);
  ws.SetURL("wss://127.0.0.1:" + std::to_string(server.ListeningPort()) + "/chat");
  ws.TLSOptions().SetRootCertFile(pki.CAFile());
  ws.TLSOptions().SetVerifyCertificate(true);
  ws.Authentication().SetEnabled(true);
  ws.Authentication().Token().SetEnabled(true);
  ws.Authentication().Token().SetOAuth(&client);
  ws.OnConnect = [this](TzorWSConnection*) { log.Record("connected"); };
  ws.OnMessage = [this](TzorWSConnection*, const std::string& text) { log.Record("message " + text); };
  ws.OnError = [this](TzorWSConnection*, const std::string& error) { log.Record("error " + error); };
  ws.OnException = [this](TzorWSConnection*, const std::exception& e) { log.Record(std::string("error ") + e.what()); };
  // The connection waits for the token, which waits for the browser.
  ws.SetActive(true);
  const auto first = log.Wait(1);
  ASSERT_EQ(first[0].rfind("browser failed", 0), std::string::npos) << first[0];
  // Either way round: the browser's end and the connection race.
  auto events = log.Wait(2);
  std::sort(events.begin(), events.end());
  ASSERT_EQ(events, (std::vector<std::string>{"browser on the listener's page", "connected"}));
  EXPECT_EQ(pages, 1);
  ws.WriteData("hi");
  EXPECT_EQ(log.Wait(3)[2], "message echo:hi");
  ws.SetActive(false);
  // No refresh of the client may reach the connection once it is gone.
  client.Stop();
}

}  // namespace
}  // namespace zor
