// The authorization server without sockets: registry, sign-in page, sign-in,
// the three grants, token checks, and the attacks it must turn away.
#include "oauth2/oauth2_server.h"

#include <gtest/gtest.h>

#include <regex>

#include "base/bytes.h"
#include "base/url.h"
#include "oauth2/pkce.h"
#include "oauth2/sign_in_page.h"

namespace zor {
namespace {

constexpr const char* kRedirect = "https://app.example/cb";

// A string or number member of a compact JSON object; "<absent>" when missing.
std::string Member(const std::string& json, const std::string& name) {
  const std::regex text("\"" + name + "\":(\"((\\\\.|[^\"\\\\])*)\"|(-?[0-9]+))");
  std::smatch match;
  if (!std::regex_search(json, match, text)) return "<absent>";
  if (!match[2].matched) return match[4].str();
  // The escapes the answers use for '/', '"' and '\\'.
  return std::regex_replace(match[2].str(), std::regex(R"(\\([/"\\]))"), "$1");
}

std::string QueryValue(const std::string& location, const std::string& name) {
  TzorFormFields fields;
  const size_t question = location.find('?');
  if (question == std::string::npos || !fields.Parse(location.substr(question + 1))) return "<absent>";
  return fields.Count(name) ? fields.Value(name) : "<absent>";
}

struct OAuth2Server : ::testing::Test {
  OAuth2Server() {
    EXPECT_TRUE(oauth.RegisterApp("My App", kRedirect, clientId, secret));
    oauth.Clock = [this] { return now; };
    oauth.OnOAuth2Authentication = [](TzorWSConnection*, const TzorHTTPOAuth2Request&, const std::string& user,
                                      const std::string& password, bool& ok) {
      ok = user == "alice smith" && password == "p&ss w=rd";
    };
  }

  TzorOAuth2HTTPAnswer Get(const std::string& path, const std::string& query) {
    return oauth.DoProcessHTTP(nullptr, ReadOAuth2HTTPRequest({"GET " + path + "?" + query + " HTTP/1.1", "Host: x"}, ""));
  }
  TzorOAuth2HTTPAnswer Post(const std::string& path, const std::string& body, const std::string& basic = "") {
    std::vector<std::string> lines{"POST " + path + " HTTP/1.1", "Host: x"};
    if (!basic.empty()) lines.push_back("Authorization: Basic " + EncodeBase64(basic));
    return oauth.DoProcessHTTP(nullptr, ReadOAuth2HTTPRequest(lines, body));
  }
  std::string PageQuery(const std::string& extra = "") {
    return "response_type=code&client_id=" + clientId + "&redirect_uri=" + PercentEncode(kRedirect, true) +
           "&scope=read+write&state=xyz" + extra;
  }
  // Shows the page and answers the request id in its form.
  std::string ShowPage(const std::string& extra = "") {
    const auto page = Get("/zor/oauth2/auth", PageQuery(extra));
    EXPECT_EQ(page.Status, 200);
    std::smatch match;
    EXPECT_TRUE(std::regex_search(page.Body, match, std::regex("name=\"id\" value=\"([0-9a-f]{64})\"")));
    return match[1].str();
  }
  TzorOAuth2HTTPAnswer SignIn(const std::string& id, const std::string& password = "p&ss w=rd") {
    return Post("/zor/oauth2/auth",
                "request_type=sign-in&username=alice+smith&password=" + PercentEncode(password, true) + "&id=" + id);
  }
  std::string Code(const std::string& extra = "") {
    const auto answer = SignIn(ShowPage(extra));
    EXPECT_EQ(answer.Kind, TzorOAuth2AnswerKind::oakRedirect);
    return QueryValue(answer.Location, "code");
  }
  std::string Credentials() { return "&client_id=" + clientId + "&client_secret=" + secret; }
  TzorOAuth2HTTPAnswer Exchange(const std::string& code, const std::string& extra = "") {
    return Post("/zor/oauth2/token", "grant_type=authorization_code&code=" + code +
                                         "&redirect_uri=" + PercentEncode(kRedirect, true) + Credentials() + extra);
  }
  static void ExpectError(const TzorOAuth2HTTPAnswer& answer, const std::string& error,
                          const std::string& description = "") {
    EXPECT_EQ(answer.Status, 400) << answer.Body;
    EXPECT_EQ(answer.ContentType, "application/json");
    EXPECT_EQ(Member(answer.Body, "error"), error) << answer.Body;
    if (!description.empty()) {
      EXPECT_EQ(Member(answer.Body, "error_description"), description);
    }
  }
  TzorOAuth2HTTPAnswer Refresh(const std::string& refreshToken, const std::string& extra = "") {
    return Post("/zor/oauth2/token", "grant_type=refresh_token&refresh_token=" + refreshToken + Credentials() + extra);
  }
  bool Valid(const std::string& token) { return oauth.IsOAuth2TokenValid(nullptr, token); }

  TzorHTTPComponentServer_OAuth2 oauth;
  TzorOAuth2Time now = TzorOAuth2Clock::now();
  std::string clientId, secret;
};

TEST_F(OAuth2Server, RegistryKeepsTheFirstRegistrationOfAName) {
  EXPECT_TRUE(std::regex_match(clientId, std::regex("[0-9A-F]{32}")));
  EXPECT_TRUE(std::regex_match(secret, std::regex("[0-9A-F]{32}")));
  EXPECT_NE(clientId, secret);
  std::string id = "keep", sec = "keep";
  EXPECT_FALSE(oauth.RegisterApp("My App", "https://other/", id, sec));
  EXPECT_EQ(id, "keep");
  EXPECT_EQ(oauth.GetApp("My App")->ClientId, clientId);
  EXPECT_EQ(oauth.GetAppByClientId(clientId)->AppName, "My App");
  EXPECT_EQ(oauth.GetAppByClientId(""), nullptr);
  EXPECT_TRUE(oauth.UnRegisterApp("My App"));
  EXPECT_FALSE(oauth.UnRegisterApp("My App"));
  EXPECT_EQ(oauth.GetAppByClientId(clientId), nullptr);
}

TEST_F(OAuth2Server, PageShowsTheApplicationAndTheRequest) {
  const auto page = Get("/zor/oauth2/auth", PageQuery());
  EXPECT_EQ(page.Status, 200);
  EXPECT_EQ(page.ContentType, "text/html; charset=utf-8");
  EXPECT_NE(page.Body.find("<strong>My App</strong>"), std::string::npos);
  EXPECT_NE(page.Body.find("Scope: read write"), std::string::npos);
  EXPECT_NE(page.Body.find("action=\"/zor/oauth2/auth\""), std::string::npos);
  EXPECT_EQ(page.Body.find("{%"), std::string::npos);
  EXPECT_EQ(page.Headers, SignInPageHeaders(kRedirect));
  EXPECT_EQ(oauth.RequestCount(), 1u);
}

TEST(SignInPageHeaders, FormMayGoOnlyToTheServerAndRedirectToTheApplication) {
  const struct {
    const char* redirect;
    const char* formAction;
  } cases[] = {
      {"https://app.example/cb?x=1#f", "form-action 'self' https://app.example"},
      {"http://127.0.0.1:5000", "form-action 'self' http://127.0.0.1:5000"},
      {"http://[::1]:8080/cb", "form-action 'self' http://[::1]:8080"},
      {"com.example.app:/oauth2", "form-action 'self' com.example.app:"},
      // Nothing a policy cannot hold as it is gets in.
      {"javascript:alert(1)", "form-action 'self'"},
      {"https://a.example;script-src *", "form-action 'self'"},
      {"https://a.example 'unsafe-inline'", "form-action 'self'"},
      {"https://user@a.example/", "form-action 'self'"},
      {"https://a.example\r\nSet-Cookie: x=1", "form-action 'self'"},
      {"https:///cb", "form-action 'self'"},
      {"://a.example", "form-action 'self'"},
      {"", "form-action 'self'"},
  };
  for (const auto& c : cases) {
    const auto headers = SignInPageHeaders(c.redirect);
    EXPECT_NE(std::find(headers.begin(), headers.end(),
                        std::string("Content-Security-Policy: frame-ancestors 'none'; ") + c.formAction),
              headers.end())
        << c.redirect;
  }
}

TEST_F(OAuth2Server, PageHandlerMayReplaceOrDropThePage) {
  int pages = 0;
  oauth.OnOAuth2BeforeDispatchPage = [&](TzorComponent_Base*, const TzorHTTPOAuth2Request& r, std::string& html) {
    html = ++pages > 1 ? "" : "custom " + r.ID();
  };
  const auto page = Get("/zor/oauth2/auth", PageQuery());
  EXPECT_TRUE(std::regex_match(page.Body, std::regex("custom [0-9a-f]{64}")));
  // A dropped page leaves no request behind that nobody could sign in to.
  EXPECT_EQ(Get("/zor/oauth2/auth", PageQuery()).Status, 404);
  EXPECT_EQ(oauth.RequestCount(), 1u);
}

TEST_F(OAuth2Server, OnlyTheTwoAddressesAreHandled) {
  EXPECT_FALSE(Get("/other", PageQuery()).Handled());
  EXPECT_FALSE(Get("/zor/oauth2/token", "").Handled());
  // Routes are matched on the request path, never on a header line.
  auto request = ReadOAuth2HTTPRequest({"GET /app HTTP/1.1", "X-Path: GET /zor/oauth2/auth?" + PageQuery()}, "");
  EXPECT_FALSE(oauth.DoProcessHTTP(nullptr, request).Handled());
  EXPECT_FALSE(Get("/prefix/zor/oauth2/auth", PageQuery()).Handled());
  oauth.OAuth2Options().Authorization().Enabled = false;
  EXPECT_FALSE(Get("/zor/oauth2/auth", PageQuery()).Handled());
  bool asked = false;
  oauth.OnOAuth2BeforeRequest = [&](TzorComponent_Base*, TzorWSConnection*, const std::vector<std::string>&,
                                    bool& cancel) { cancel = asked = true; };
  EXPECT_EQ(Get("/any", "").Kind, TzorOAuth2AnswerKind::oakNothing);
  EXPECT_TRUE(asked);
}

TEST_F(OAuth2Server, ReadsHTTP2PseudoHeaderLines) {
  const auto request = ReadOAuth2HTTPRequest({":method=GET", ":path=/zor/oauth2/auth?" + PageQuery()}, "");
  EXPECT_EQ(request.Method, "GET");
  EXPECT_EQ(request.Path, "/zor/oauth2/auth");
  EXPECT_EQ(oauth.DoProcessHTTP(nullptr, request).Status, 200);
}

TEST_F(OAuth2Server, SignInRedirectsWithASingleUseCode) {
  const std::string id = ShowPage();
  const auto answer = SignIn(id);
  ASSERT_EQ(answer.Kind, TzorOAuth2AnswerKind::oakRedirect);
  EXPECT_TRUE(std::regex_match(answer.Location, std::regex("https://app\\.example/cb\\?code=[0-9a-f]{32}&state=xyz")))
      << answer.Location;
  // The page cannot be signed in to twice: a refused second sign-in changes
  // nothing, an accepted one ends the request.
  EXPECT_EQ(SignIn(id, "wrong").Status, 404);
  EXPECT_EQ(oauth.RequestCount(), 1u);
  const auto second = SignIn(id);
  EXPECT_EQ(second.Location, "https://app.example/cb?error=invalid_request&state=xyz");
  EXPECT_EQ(oauth.RequestCount(), 0u);
  EXPECT_EQ(SignIn(id).Status, 404);
}

TEST_F(OAuth2Server, ExchangeGivesAToken) {
  std::string after;
  oauth.OnOAuth2AfterAccessToken = [&](TzorComponent_Base*, TzorWSConnection*, const TzorHTTPOAuth2Request& r,
                                       const std::string& response) {
    after = r.Authentication.User + "|" + response;
  };
  const auto answer = Exchange(Code());
  ASSERT_EQ(answer.Status, 200) << answer.Body;
  EXPECT_EQ(answer.ContentType, "application/json");
  EXPECT_NE(std::find(answer.Headers.begin(), answer.Headers.end(), "Cache-Control: no-store"), answer.Headers.end());
  EXPECT_TRUE(std::regex_match(answer.Body, std::regex("\\{\"token_type\":\"Bearer\",\"access_token\":\"[0-9a-f]{64}\","
                                                       "\"expires_in\":3600,\"refresh_token\":\"[0-9a-f]{64}\","
                                                       "\"scope\":\"read write\"\\}")))
      << answer.Body;
  EXPECT_EQ(after, "alice smith|" + answer.Body);
  EXPECT_TRUE(Valid(Member(answer.Body, "access_token")));
  EXPECT_FALSE(Valid(Member(answer.Body, "refresh_token")));
}

TEST_F(OAuth2Server, ClientMayAuthenticateWithBasicCredentials) {
  const std::string code = Code();
  const auto answer =
      Post("/zor/oauth2/token",
           "grant_type=authorization_code&code=" + code + "&redirect_uri=" + PercentEncode(kRedirect, true),
           clientId + ":" + secret);
  EXPECT_EQ(answer.Status, 200) << answer.Body;
  // A wrong secret by Basic is answered 401 with the scheme to use.
  const auto wrong = Post("/zor/oauth2/token", "grant_type=client_credentials", clientId + ":nope");
  EXPECT_EQ(wrong.Status, 401);
  EXPECT_EQ(Member(wrong.Body, "error"), "invalid_client");
  EXPECT_NE(std::find(wrong.Headers.begin(), wrong.Headers.end(),
                      "WWW-Authenticate: Basic realm=\"zorWebSockets 2023.6.0\""),
            wrong.Headers.end());
}

TEST_F(OAuth2Server, ClientCredentialsGrant) {
  const auto answer = Post("/zor/oauth2/token", "grant_type=client_credentials&scope=jobs" + Credentials());
  ASSERT_EQ(answer.Status, 200) << answer.Body;
  EXPECT_EQ(Member(answer.Body, "scope"), "jobs");
  EXPECT_TRUE(Valid(Member(answer.Body, "access_token")));
  oauth.GetApp("My App")->AllowedGrantTypes.Exclude(auth2ClientCredentials);
  ExpectError(Post("/zor/oauth2/token", "grant_type=client_credentials" + Credentials()), "unauthorized_client",
              "Currenty GrantType is not Allowed by the Application Configuration");
}

TEST_F(OAuth2Server, RefreshExtendsTheTokenAndReplacesTheRefreshToken) {
  const auto first = Exchange(Code());
  const std::string access = Member(first.Body, "access_token");
  const std::string refresh = Member(first.Body, "refresh_token");
  now += std::chrono::seconds(3000);
  std::string after;
  oauth.OnOAuth2AfterRefreshToken = [&](TzorComponent_Base*, TzorWSConnection*, const TzorHTTPOAuth2Request&,
                                        const std::string& response) { after = response; };
  const auto answer = Refresh(refresh);
  ASSERT_EQ(answer.Status, 200) << answer.Body;
  EXPECT_EQ(Member(answer.Body, "access_token"), access);
  EXPECT_EQ(Member(answer.Body, "expires_in"), "3600");
  const std::string renewed = Member(answer.Body, "refresh_token");
  EXPECT_TRUE(std::regex_match(renewed, std::regex("[0-9a-f]{64}"))) << answer.Body;
  EXPECT_NE(renewed, refresh);
  EXPECT_EQ(after, answer.Body);
  now += std::chrono::seconds(3500);
  EXPECT_TRUE(Valid(access));
  ExpectError(Refresh(renewed, "&scope=admin"), "invalid_scope", "Scope read write is different from previous value admin");
  EXPECT_EQ(Refresh(renewed).Status, 200);
}

TEST_F(OAuth2Server, ReplayedRefreshTokenIsRefusedAndChangesNothing) {
  const auto first = Exchange(Code());
  const std::string access = Member(first.Body, "access_token");
  const std::string refresh = Member(first.Body, "refresh_token");
  const std::string renewed = Member(Refresh(refresh).Body, "refresh_token");
  now += std::chrono::seconds(1000);
  for (int replay = 0; replay < 2; ++replay)
    ExpectError(Refresh(refresh), "invalid_grant", "Refresh Token not found " + refresh);
  // The replay neither extended the token nor spent the current refresh token.
  now += std::chrono::seconds(2600);
  EXPECT_FALSE(Valid(access));
  const auto answer = Refresh(renewed);
  EXPECT_EQ(answer.Status, 200) << answer.Body;
  EXPECT_TRUE(Valid(access));
}

TEST_F(OAuth2Server, ExpiredTokensAreRejectedAndDroppedOnceTheyCannotBeRefreshed) {
  const auto answer = Exchange(Code());
  const std::string access = Member(answer.Body, "access_token");
  now += std::chrono::seconds(3600);
  EXPECT_FALSE(Valid(access));
  // Its refresh token still renews it: that is what refresh tokens are for.
  EXPECT_EQ(oauth.RequestCount(), 1u);
  const std::string renewed = Member(Refresh(Member(answer.Body, "refresh_token")).Body, "refresh_token");
  EXPECT_TRUE(Valid(access));
  // Past the refresh token's own life nothing is left.
  now += std::chrono::seconds(oauth.OAuth2Options().Token().RefreshTokenExpiresIn);
  ExpectError(Refresh(renewed), "invalid_grant");
  EXPECT_FALSE(Valid(access));
  EXPECT_EQ(oauth.RequestCount(), 0u);
  // Without a refresh token an expired token goes at once.
  oauth.GetApp("My App")->RefreshToken = false;
  const std::string plain = Member(Exchange(Code()).Body, "access_token");
  now += std::chrono::seconds(3600);
  EXPECT_FALSE(Valid(plain));
  EXPECT_EQ(oauth.RequestCount(), 0u);
}

TEST_F(OAuth2Server, SpentRequestsArePrunedWithoutATokenCheck) {
  // A flood of pages, codes and tokens that nobody uses again.
  oauth.GetApp("My App")->RefreshToken = false;
  for (int i = 0; i < 50; ++i) {
    ShowPage();
    Code();
    EXPECT_EQ(Post("/zor/oauth2/token", "grant_type=client_credentials" + Credentials()).Status, 200);
  }
  EXPECT_EQ(oauth.RequestCount(), 150u);
  now += std::chrono::seconds(3600);
  // Whatever comes next clears what has run out.
  ShowPage();
  EXPECT_EQ(oauth.RequestCount(), 1u);
}

TEST_F(OAuth2Server, TokenCheckReadsTheAuthorizationLineAndLetsHandlersDecide) {
  const std::string access = Member(Exchange(Code()).Body, "access_token");
  EXPECT_TRUE(oauth.IsOAuth2TokenValid(nullptr, std::vector<std::string>{"GET / HTTP/1.1", "Authorization: Bearer " + access}));
  EXPECT_TRUE(oauth.IsOAuth2TokenValid(nullptr, std::vector<std::string>{":path=/", "authorization=Bearer " + access}));
  EXPECT_FALSE(oauth.IsOAuth2TokenValid(nullptr, std::vector<std::string>{"GET /?access_token=" + access + " HTTP/1.1"}));
  EXPECT_FALSE(oauth.IsOAuth2TokenValid(nullptr, std::vector<std::string>{"GET / HTTP/1.1", "Authorization: Basic " + access}));
  oauth.OnOAuth2AfterValidateAccessToken = [](TzorComponent_Base*, TzorWSConnection*, const TzorHTTPOAuth2Request& r,
                                              bool& valid) { valid = r.Scope != "read write"; };
  EXPECT_FALSE(Valid(access));
  bool disconnect = false;
  EXPECT_TRUE(oauth.IsOAuth2Unauthorized(nullptr));
  oauth.OnOAuth2Unauthorized = [&](TzorComponent_Base*, TzorWSConnection*, bool& d) { d = disconnect; };
  EXPECT_FALSE(oauth.IsOAuth2Unauthorized(nullptr));
}

TEST_F(OAuth2Server, TokensIssuedElsewhere) {
  EXPECT_FALSE(oauth.AddToken("Nobody", "t1", now + std::chrono::hours(1), "", ""));
  EXPECT_FALSE(oauth.AddToken("My App", "t1", now, "", ""));
  EXPECT_TRUE(oauth.AddToken("My App", "t1", now + std::chrono::hours(1), "", "s"));
  EXPECT_TRUE(Valid("t1"));
  EXPECT_TRUE(oauth.RemoveToken("t1"));
  EXPECT_FALSE(oauth.RemoveToken("t1"));
  EXPECT_FALSE(Valid("t1"));
  // An expired token with a refresh token can still be refreshed.
  EXPECT_TRUE(oauth.AddToken("My App", "t2", now - std::chrono::seconds(1), "r2", "s"));
  const auto refreshed = Refresh("r2");
  EXPECT_EQ(refreshed.Status, 200) << refreshed.Body;
  EXPECT_TRUE(Valid("t2"));
}

TEST_F(OAuth2Server, PKCEBindsTheCodeToItsVerifier) {
  const std::string verifier = NewPKCEVerifier();
  const std::string challenge = "&code_challenge=" + PKCEChallengeS256(verifier) + "&code_challenge_method=S256";
  const std::string code = Code(challenge);
  ExpectError(Exchange(code), "invalid_grant");
  ExpectError(Exchange(code, "&code_verifier=" + NewPKCEVerifier()), "invalid_grant");
  EXPECT_EQ(Exchange(code, "&code_verifier=" + verifier).Status, 200);
  // RFC 7636 appendix B.
  EXPECT_EQ(PKCEChallengeS256("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST_F(OAuth2Server, PKCEThatTheServerCannotCheckIsRefusedAtThePage) {
  const struct {
    const char* extra;
    bool requirePKCE;
  } cases[] = {
      {"&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM&code_challenge_method=plain", false},
      {"&code_challenge=E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM", false},
      {"&code_challenge=short&code_challenge_method=S256", false},
      {"&code_challenge_method=S256", false},
      {"", true},
  };
  for (const auto& c : cases) {
    oauth.GetApp("My App")->RequirePKCE = c.requirePKCE;
    const auto answer = Get("/zor/oauth2/auth", PageQuery(c.extra));
    EXPECT_EQ(answer.Location, "https://app.example/cb?error=invalid_request&state=xyz") << c.extra;
  }
  EXPECT_EQ(oauth.RequestCount(), 0u);
}

// --- attacks ---------------------------------------------------------------------

TEST_F(OAuth2Server, PageRequestsThatMustNotRedirectAreNotFound) {
  const std::string other = "https://evil.example/cb";
  const std::string queries[] = {
      "",
      "response_type=code&client_id=UNKNOWN&redirect_uri=" + PercentEncode(kRedirect, true),
      // a swapped redirect address is refused before any code exists
      "response_type=code&client_id=" + clientId + "&redirect_uri=" + PercentEncode(other, true),
      "response_type=code&client_id=" + clientId +
          "&redirect_uri=" + PercentEncode(std::string(kRedirect) + "/../x", true),
      "response_type=code&client_id=" + clientId + "&redirect_uri=" + PercentEncode(kRedirect, true) +
          "&redirect_uri=" + PercentEncode(other, true),
      "response_type=code&client_id=" + clientId + "&client_id=" + clientId,
      "response_type=code&client_id=" + clientId + "&redirect_uri=%zz",
  };
  for (const auto& query : queries) {
    const auto answer = Get("/zor/oauth2/auth", query);
    EXPECT_EQ(answer.Kind, TzorOAuth2AnswerKind::oakStatus) << query;
    EXPECT_EQ(answer.Status, 404) << query;
  }
  EXPECT_EQ(oauth.RequestCount(), 0u);
}

TEST_F(OAuth2Server, PageRequestsWithAKnownRedirectGetTheErrorThere) {
  const struct {
    std::string extra;
    const char* error;
  } cases[] = {
      {"&state=again", "invalid_request"},
      {"&response_type=token", "invalid_request"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(QueryValue(Get("/zor/oauth2/auth", PageQuery(c.extra)).Location, "error"), c.error) << c.extra;
  const auto implicit = Get("/zor/oauth2/auth", "response_type=token&client_id=" + clientId + "&state=s");
  EXPECT_EQ(implicit.Location, "https://app.example/cb?error=unsupported_response_type&state=s");
}

TEST_F(OAuth2Server, ValuesPlacedIntoThePageAreEscaped) {
  std::string name, sec;
  ASSERT_TRUE(oauth.RegisterApp("<b>App</b>", kRedirect, name, sec));
  const auto page = Get("/zor/oauth2/auth", "response_type=code&client_id=" + name + "&scope=" +
                                                PercentEncode("\"><script>alert('x')</script>{%request.id%}", true));
  ASSERT_EQ(page.Status, 200);
  EXPECT_EQ(page.Body.find("<script>"), std::string::npos);
  EXPECT_EQ(page.Body.find("<b>App"), std::string::npos);
  EXPECT_NE(page.Body.find("&lt;b&gt;App&lt;/b&gt;"), std::string::npos);
  EXPECT_NE(page.Body.find("&quot;&gt;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;{%request.id%}"),
            std::string::npos);
}

TEST_F(OAuth2Server, StateCannotAddLinesOrParametersToTheRedirect) {
  const std::string state = "s\r\nSet-Cookie: a=b&code=forged#x";
  const auto page =
      Get("/zor/oauth2/auth", "response_type=code&client_id=" + clientId + "&state=" + PercentEncode(state, true));
  std::smatch match;
  ASSERT_TRUE(std::regex_search(page.Body, match, std::regex("name=\"id\" value=\"([0-9a-f]{64})\"")));
  const auto signedIn = SignIn(match[1].str());
  EXPECT_EQ(signedIn.Location.find_first_of("\r\n#"), std::string::npos) << signedIn.Location;
  EXPECT_EQ(QueryValue(signedIn.Location, "state"), state);
  EXPECT_TRUE(std::regex_match(QueryValue(signedIn.Location, "code"), std::regex("[0-9a-f]{32}")));
}

TEST_F(OAuth2Server, RefusedSignInsDoNotAdvanceTheRequest) {
  const std::string id = ShowPage();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(SignIn(id, "wrong").Status, 404);
  // Still awaiting its sign-in, with no code anybody could exchange.
  EXPECT_EQ(SignIn(id).Kind, TzorOAuth2AnswerKind::oakRedirect);
  // Too many refusals end the request.
  const std::string guessed = ShowPage();
  for (int i = 0; i < 5; ++i) SignIn(guessed, "wrong");
  EXPECT_EQ(SignIn(guessed).Status, 404);
  // Without a handler nobody signs in.
  oauth.OnOAuth2Authentication = nullptr;
  EXPECT_EQ(SignIn(ShowPage()).Status, 404);
  EXPECT_EQ(SignIn(std::string(64, '0')).Status, 404);
}

TEST_F(OAuth2Server, SignInPagesAndCodesExpire) {
  const std::string id = ShowPage();
  now += std::chrono::seconds(600);
  EXPECT_EQ(SignIn(id).Status, 404);
  const std::string code = Code();
  now += std::chrono::seconds(60);
  ExpectError(Exchange(code), "invalid_grant", "Authorization Code not found " + code);
  EXPECT_EQ(oauth.RequestCount(), 0u);
}

TEST_F(OAuth2Server, PendingRequestsAreBounded) {
  oauth.OAuth2Options().Authorization().MaxPendingRequests = 3;
  const std::string first = ShowPage();
  for (int i = 0; i < 5; ++i) ShowPage();
  EXPECT_EQ(oauth.RequestCount(), 3u);
  EXPECT_EQ(SignIn(first).Status, 404);
}

TEST_F(OAuth2Server, TokenRequestsThatFailChangeNothing) {
  const std::string code = Code();
  const std::string redirect = "&redirect_uri=" + PercentEncode(kRedirect, true);
  const struct {
    std::string body;
    const char* error;
    std::string description;
  } cases[] = {
      {"grant_type=authorization_code&code=" + code + "&redirect_uri=https%3A%2F%2Fevil.example%2Fcb" + Credentials(),
       "invalid_grant", "Redirect_URI https://app.example/cb is different from previous value https://evil.example/cb"},
      {"grant_type=authorization_code&code=" + code + Credentials(), "invalid_grant",
       "Redirect_URI https://app.example/cb is different from previous value "},
      {"grant_type=authorization_code&code=" + code + redirect + "&client_id=" + clientId + "&client_secret=wrong",
       "invalid_client", "ClientSecret is different from the registered value"},
      {"grant_type=authorization_code&code=" + code + redirect + "&client_id=other&client_secret=" + secret,
       "invalid_grant", "Client_Id " + clientId + " is different from previous value other"},
      {"grant_type=authorization_code&code=" + std::string(32, 'a') + redirect + Credentials(), "invalid_grant",
       "Authorization Code not found " + std::string(32, 'a')},
      {"grant_type=authorization_code" + redirect + Credentials(), "invalid_request", "Missing parameter: code"},
      {"grant_type=authorization_code&code=" + code + "&code=" + code + redirect + Credentials(), "invalid_request",
       "Parameter code is repeated"},
      {"grant_type=password&username=a&password=b", "unsupported_grant_type", "Unsupported grant_type password"},
      {"code=" + code, "invalid_request", "Missing parameter: grant_type"},
      {"grant_type=client_credentials&client_id=UNKNOWN&client_secret=x", "invalid_client", "Application not found"},
      {"grant_type=refresh_token" + Credentials(), "invalid_request", "Missing parameter: refresh_token"},
      {"grant_type=refresh_token&refresh_token=" + std::string(64, '0') + Credentials(), "invalid_grant",
       "Refresh Token not found " + std::string(64, '0')},
      {"grant_type=authorization_code&code=%", "invalid_request", "The form is malformed or too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const auto answer = Post("/zor/oauth2/token", c.body);
    ExpectError(answer, c.error, c.description);
    EXPECT_EQ(answer.Body.find(secret), std::string::npos);
  }
  // After all of these the code is still good, once.
  EXPECT_EQ(Exchange(code).Status, 200);
}

TEST_F(OAuth2Server, ReplayedCodeIsRefused) {
  const std::string code = Code();
  const auto first = Exchange(code);
  ASSERT_EQ(first.Status, 200);
  ExpectError(Exchange(code), "invalid_grant", "Invalid request");
  ExpectError(Exchange(code), "invalid_grant", "Invalid request");
  EXPECT_TRUE(Valid(Member(first.Body, "access_token")));
}

TEST_F(OAuth2Server, CodeOfAnotherApplicationIsRefused) {
  std::string otherId, otherSecret;
  ASSERT_TRUE(oauth.RegisterApp("Other", kRedirect, otherId, otherSecret));
  const std::string code = Code();
  ExpectError(Post("/zor/oauth2/token", "grant_type=authorization_code&code=" + code +
                                            "&redirect_uri=" + PercentEncode(kRedirect, true) +
                                            "&client_id=" + otherId + "&client_secret=" + otherSecret),
              "invalid_grant");
}

TEST_F(OAuth2Server, JSONAnswersEscapeTheirStrings) {
  const auto answer =
      Post("/zor/oauth2/token",
           "grant_type=client_credentials&scope=" + PercentEncode("a\"b\\c\n</script>", true) + Credentials());
  ASSERT_EQ(answer.Status, 200);
  EXPECT_NE(answer.Body.find(R"("scope":"a\"b\\c\n<\/script>")"), std::string::npos) << answer.Body;
  const auto error = Post("/zor/oauth2/token", "grant_type=%22%7D");
  EXPECT_NE(error.Body.find(R"(Unsupported grant_type \"})"), std::string::npos) << error.Body;
}

}  // namespace
}  // namespace zor
