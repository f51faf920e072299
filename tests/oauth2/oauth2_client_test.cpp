// The OAuth2 client's messages and options without any IO: what goes to the
// browser and the token address, and how answers and redirects are read.
#include "oauth2/oauth2_client.h"

#include <gtest/gtest.h>

#include <regex>

#include "oauth2/form_fields.h"

namespace zor {
namespace {

using Pairs = TzorFormPairs;

TEST(OAuth2ClientMessages, AuthorizationRequestWithDefaultOptions) {
  TzorHTTPComponentClient_OAuth2 client;
  client.OAuth2Options().ClientId = "app";
  client.OAuth2Options().PKCE = false;
  const std::string state = client.OAuth2Options().State();
  EXPECT_TRUE(std::regex_match(state, std::regex("[0-9A-F]{32}")));
  EXPECT_EQ(client.RedirectAddress(), "http://127.0.0.1:8080");
  const Pairs params = AuthorizeParams("app", client.RedirectAddress(), client.AuthorizationServerOptions().PlainScope(),
                                       state, "");
  EXPECT_EQ(params, (Pairs{{"response_type", "code"},
                           {"client_id", "app"},
                           {"redirect_uri", "http://127.0.0.1:8080"},
                           {"scope", ""},
                           {"state", state}}));
}

TEST(OAuth2ClientMessages, EveryValueIsFormEncoded) {
  const std::string url = AuthorizeURL("https://idp.example/auth?tenant=a b",
                                       AuthorizeParams("id&x=1", "http://127.0.0.1:9/cb?a=1&b=2", "openid email+x",
                                                       "s#1", "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
  EXPECT_EQ(url,
            "https://idp.example/auth?tenant=a b&response_type=code&client_id=id%26x%3D1"
            "&redirect_uri=http%3A%2F%2F127.0.0.1%3A9%2Fcb%3Fa%3D1%26b%3D2&scope=openid+email%2Bx&state=s%231"
            "&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM&code_challenge_method=S256");
  const std::string body =
      FormEncodePairs(CodeTokenForm("c+d&e", "http://127.0.0.1:9/", "v~1", {"id=1", "s&2"}));
  EXPECT_EQ(body,
            "grant_type=authorization_code&code=c%2Bd%26e&redirect_uri=http%3A%2F%2F127.0.0.1%3A9%2F"
            "&code_verifier=v~1&client_id=id%3D1&client_secret=s%262");
  TzorFormFields fields;
  ASSERT_TRUE(fields.Parse(body));
  EXPECT_EQ(fields.Value("code"), "c+d&e");
}

TEST(OAuth2ClientMessages, TokenForms) {
  EXPECT_EQ(ClientCredentialsTokenForm("a b", "http://r", {"i", ""}),
            (Pairs{{"grant_type", "client_credentials"}, {"scope", "a b"}, {"redirect_uri", "http://r"}, {"client_id", "i"}}));
  EXPECT_EQ(ClientCredentialsTokenForm("", "", {}), (Pairs{{"grant_type", "client_credentials"}}));
  EXPECT_EQ(RefreshTokenForm("r1", "", {"i", "s"}),
            (Pairs{{"grant_type", "refresh_token"}, {"refresh_token", "r1"}, {"client_id", "i"}, {"client_secret", "s"}}));
}

TEST(OAuth2ClientMessages, ReadsTokenAndErrorAnswers) {
  TzorOAuth2TokenAnswer token;
  ASSERT_TRUE(ReadTokenAnswer(
      R"({"access_token":"a\/b\"c","token_type":"Bearer","expires_in":3600,"refresh_token":null,"scope":"x y","extra":{"k":1}})",
      token));
  EXPECT_EQ(token.Access_Token, "a/b\"c");
  EXPECT_EQ(token.Token_Type, "Bearer");
  EXPECT_EQ(token.Expires_In, "3600");
  EXPECT_EQ(token.Refresh_Token, "");
  EXPECT_EQ(token.Scope, "x y");
  EXPECT_FALSE(ReadTokenAnswer("<html>access_token</html>", token));
  EXPECT_FALSE(ReadTokenAnswer("", token));
  TzorOAuth2ErrorAnswer error;
  ASSERT_TRUE(ReadErrorAnswer(R"({"error":"invalid_grant","error_description":"bad code"})", error));
  EXPECT_EQ(error.Error, "invalid_grant");
  EXPECT_EQ(error.Error_Description, "bad code");
  EXPECT_EQ(error.Error_URI, "");
}

TEST(OAuth2ClientMessages, ReadsRedirects) {
  const auto redirect = ReadRedirect("GET /cb?code=1&state=a%20b&code=2&error_uri=u HTTP/1.1");
  EXPECT_TRUE(redirect.Valid);
  EXPECT_EQ(redirect.Path, "/cb");
  EXPECT_EQ(redirect.Code, "2");
  EXPECT_EQ(redirect.State, "a b");
  EXPECT_EQ(redirect.Error_URI, "u");
  EXPECT_EQ(redirect.RawParams, "code=1&state=a%20b&code=2&error_uri=u");
  EXPECT_FALSE(ReadRedirect("GET /?code=%zz HTTP/1.1").Valid);
  EXPECT_FALSE(ReadRedirect("POST /?code=1 HTTP/1.1").Valid);
  EXPECT_EQ(ReadRedirect("GET /favicon.ico HTTP/1.1").Path, "/favicon.ico");
}

TEST(OAuth2ClientOptions, RedirectAddressScopeStateAndCopies) {
  TzorHTTPOAuth_LocalServerOptions local;
  local.SSL = true;
  local.SSLOptions.Port = 9443;
  EXPECT_EQ(local.RedirectAddress(local.ListeningPort()), "https://127.0.0.1:9443");
  local.RedirectURL = "http://localhost/cb";
  EXPECT_EQ(local.RedirectAddress(local.ListeningPort()), "http://localhost/cb");

  TzorHTTPOAuth_AuthorizationServer server;
  server.Scope = {"  openid ", "", "\temail"};
  EXPECT_EQ(server.PlainScope(), "openid email");

  TzorHTTPOAuth2_Options a, b;
  a.ClientId = "id";
  a.ClientSecret = "secret";
  a.GrantType = auth2ClientCredentials;
  a.PKCE = false;
  const std::string stateOfB = b.State();
  b.Assign(a);
  EXPECT_EQ(b.ClientId, "id");
  EXPECT_EQ(b.ClientSecret, "secret");
  EXPECT_EQ(b.GrantType, auth2ClientCredentials);
  EXPECT_FALSE(b.PKCE);
  EXPECT_EQ(b.State(), stateOfB);
  EXPECT_NE(a.State(), stateOfB);
}

TEST(OAuth2Client, ConfigurationErrorsRaiseBeforeAnythingIsSent) {
  TzorHTTPComponentClient_OAuth2 client;
  client.LocalServerOptions().Port = 0;
  int browsers = 0;
  client.WebBrowserOpener = [&](const std::string&) { return ++browsers, true; };
  const struct {
    const char* auth;
    const char* token;
    const char* clientId;
    const char* message;
  } cases[] = {
      {"", "https://t", "c", "Authentication URL must not be empty."},
      {"https://a", "", "c", "Token URL must not be empty."},
      {"https://a", "https://t", "", "Client ID must not be empty."},
  };
  for (const auto& c : cases) {
    client.AuthorizationServerOptions().AuthURL = c.auth;
    client.AuthorizationServerOptions().TokenURL = c.token;
    client.OAuth2Options().ClientId = c.clientId;
    try {
      client.Start();
      ADD_FAILURE() << c.message;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_FALSE(client.LocalServerActive());
  }
  EXPECT_EQ(browsers, 0);
  client.WebBrowserOpener = [](const std::string&) { return false; };
  client.OAuth2Options().ClientId = "c";
  EXPECT_THROW(client.Start(), Exception);
  EXPECT_FALSE(client.LocalServerActive());
}

TEST(OAuth2Client, BrowserGetsTheAddressWithAFreshStateAndChallenge) {
  TzorHTTPComponentClient_OAuth2 client;
  client.LocalServerOptions().Port = 0;
  client.AuthorizationServerOptions().AuthURL = "https://idp.example/auth";
  client.AuthorizationServerOptions().TokenURL = "https://idp.example/token";
  client.OAuth2Options().ClientId = "app";
  std::vector<std::string> urls;
  client.WebBrowserOpener = [&](const std::string& url) { return urls.push_back(url), true; };
  client.Start();
  client.Start();
  ASSERT_EQ(urls.size(), 2u);
  const std::regex shape(
      "https://idp\\.example/auth\\?response_type=code&client_id=app&redirect_uri=http%3A%2F%2F127\\.0\\.0\\.1%3A[0-9]+"
      "&scope=&state=([0-9A-F]{32})&code_challenge=([A-Za-z0-9_-]{43})&code_challenge_method=S256");
  std::smatch first, second;
  ASSERT_TRUE(std::regex_match(urls[0], first, shape)) << urls[0];
  ASSERT_TRUE(std::regex_match(urls[1], second, shape)) << urls[1];
  EXPECT_NE(first[1], second[1]);
  EXPECT_NE(first[2], second[2]);
  EXPECT_TRUE(client.LocalServerActive());
  bool handled = false;
  client.OnBeforeAuthorizeCode = [&](TzorComponent_Base*, std::string&, bool& h) { h = handled = true; };
  client.Start();
  EXPECT_TRUE(handled);
  EXPECT_EQ(urls.size(), 2u);
  client.Stop();
  EXPECT_FALSE(client.LocalServerActive());
}

TEST(OAuth2Client, PlainTextTokenAddressIsNeverCalled) {
  TzorHTTPComponentClient_OAuth2 client;
  client.OAuth2Options().GrantType = auth2ClientCredentials;
  client.OAuth2Options().ClientId = "app";
  client.OAuth2Options().ClientSecret = "secret";
  client.AuthorizationServerOptions().TokenURL = "http://127.0.0.1:1/token";
  int events = 0;
  client.OnBeforeAccessToken = [&](TzorComponent_Base*, std::string&, std::string&, bool&) { ++events; };
  client.OnErrorAccessToken = [&](TzorComponent_Base*, const std::string&, const std::string&, const std::string&,
                                  const std::string&) { ++events; };
  client.OnAuthTokenError = [&](TzorComponent_Base*, const std::string&, const std::string&, const std::string&) {
    ++events;
  };
  client.Start();
  // Only the "before" event: the request itself never leaves.
  EXPECT_EQ(events, 1);
  EXPECT_FALSE(client.LocalServerActive());
}

}  // namespace
}  // namespace zor
