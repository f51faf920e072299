// Authentication of upgrades in its order, session requests and the session
// list: one login per session, expiry, empty secrets that never match.
#include "server/server_authentication.h"

#include <gtest/gtest.h>

#include "base/bytes.h"
#include "server/secrets.h"

namespace zor {
namespace {

struct AuthFixture : ::testing::Test {
  AuthFixture() {
    options.Enabled = true;
    options.AuthUsers = {"alice=secret", "bob=b:c", "nopass="};
  }
  // A fresh connection whose own check is the server's, as at accept time.
  TzorWSConnectionAuthState& NewConnection() {
    states.push_back(std::make_unique<TzorWSConnectionAuthState>());
    TzorWSConnectionAuthState& state = *states.back();
    state.OnAuthentication = [this, &state](TzorWSConnection* c, const std::string& u, const std::string& p, bool& a) {
      authenticator.OnServerAuthenticationEvent(c, state, u, p, a);
    };
    return state;
  }
  std::string Upgrade(std::vector<std::string> lines) {
    TzorWSConnectionAuthState& state = NewConnection();
    try {
      authenticator.AuthenticateUpgrade(nullptr, state, lines);
      return state.Authentication().Authenticated ? "authenticated" : "allowed";
    } catch (const TzorWSException& e) {
      return e.what();
    }
  }
  static std::string Basic(const std::string& credentials) {
    return "Authorization: Basic " + EncodeBase64Text(credentials, false);
  }

  TzorWSAuthenticationServer_Options options;
  TzorWSServerAuthenticator authenticator{options};
  std::vector<std::unique_ptr<TzorWSConnectionAuthState>> states;
};

TEST_F(AuthFixture, BasicCredentialsSplitStrictlyAtTheColon) {
  options.Basic.Enabled = true;
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1", Basic("alice:secret")}), "authenticated");
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1", Basic("alice:wrong")}), "Authentication Denied");
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1", Basic("alice:Secret")}), "Authentication Denied");
  // A password holding ":" gives three parts: refused, even for the listed "b:c".
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1", Basic("bob:b:c")}), "Authentication Denied");
  // An empty password never matches, not even an empty one in the list.
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1", Basic("nopass:")}), "Authentication Denied");
  // The marker inside a longer line: the credentials are read after it.
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1", "X-" + Basic("alice:secret")}), "authenticated");
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1", "Authorization: Basic"}), "Authentication Denied");
}

TEST_F(AuthFixture, URLLoginsNeedUserAndPassword) {
  EXPECT_EQ(Upgrade({"GET /zor/auth/url/alice/secret HTTP/1.1"}), "authenticated");
  EXPECT_EQ(Upgrade({"GET /zor/auth/url/alice HTTP/1.1"}), "Authentication Denied");
  EXPECT_EQ(Upgrade({"GET /zor/auth/url/alice/other HTTP/1.1"}), "Authentication Denied");
  options.URL.Enabled = false;
  EXPECT_EQ(Upgrade({"GET /zor/auth/url/alice/secret HTTP/1.1"}), "Authentication Denied");
}

TEST_F(AuthFixture, ASessionServesOneLogin) {
  TzorWSConnectionAuthState& requester = NewConnection();
  std::string body;
  ASSERT_EQ(authenticator.AnswerSessionRequest(nullptr, requester, "GET /zor/req/auth/session/alice/secret HTTP/1.1",
                                               " permessage-deflate ", "chat", body),
            TzorSessionAnswer::Granted);
  const std::string id = body.substr(0, body.find("\r\n"));
  ASSERT_EQ(id.size(), 32u);
  EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(body, id + "\r\npermessage-deflate\r\nchat\r\n");

  EXPECT_EQ(Upgrade({"GET /zor/auth/session/" + id + " HTTP/1.1"}), "authenticated");
  EXPECT_EQ(states.back()->Authentication().User, "alice");
  EXPECT_EQ(states.back()->Authentication().SessionID(), id);
  EXPECT_EQ(Upgrade({"GET /zor/auth/session/" + id + " HTTP/1.1"}), "Authentication Denied");
  EXPECT_EQ(Upgrade({"GET /zor/auth/session/ HTTP/1.1"}), "Authentication Denied");
}

TEST_F(AuthFixture, SessionRequestsAnswerOnlyWithEnoughParts) {
  std::string body;
  EXPECT_EQ(authenticator.AnswerSessionRequest(nullptr, NewConnection(), "GET /zor/req/auth/session/alice/bad HTTP/1.1",
                                               "", "", body),
            TzorSessionAnswer::NotFound);
  EXPECT_EQ(authenticator.AnswerSessionRequest(nullptr, NewConnection(), "GET /zor/req/auth/session HTTP/1.1", "", "",
                                               body),
            TzorSessionAnswer::Nothing);
  // A user without a password cannot get a session from the list.
  EXPECT_EQ(authenticator.AnswerSessionRequest(nullptr, NewConnection(), "GET /zor/req/auth/session/nopass HTTP/1.1",
                                               "", "", body),
            TzorSessionAnswer::NotFound);
  EXPECT_EQ(authenticator.Sessions().Count(), 0u);
}

TEST_F(AuthFixture, TokenComponentsAndHandlersDecideInOrder) {
  std::vector<std::string> seen;
  authenticator.OnUnknownAuthentication = [&](TzorWSConnection*, const std::string& type, const std::string& data,
                                              std::string& user, std::string&, bool& ok) {
    seen.push_back(type + "|" + data);
    user = "token-user";
    ok = data == "good";
  };
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1", "Authorization: Token good"}), "authenticated");
  EXPECT_EQ(states.back()->Authentication().User, "token-user");
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1", "Authorization: Token bad"}), "Authentication Denied");
  EXPECT_EQ(seen, (std::vector<std::string>{"Token|good", "Token|bad"}));

  // No credentials at all: the application's handler decides.
  authenticator.OnAuthentication = [](TzorWSConnection*, const std::string& u, const std::string&, bool& ok) {
    ok = u.empty();
  };
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1"}), "authenticated");
  authenticator.OnAuthentication = nullptr;
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1"}), "Authentication Denied");
}

TEST_F(AuthFixture, RefusedUpgradesMayStillOpen) {
  options.AllowNonAuth = true;
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1"}), "allowed");
  options.AllowNonAuth = false;
  TzorWSConnectionAuthState& state = NewConnection();
  state.SetAuthenticationCloseCode(4001);
  EXPECT_NO_THROW(authenticator.AuthenticateUpgrade(nullptr, state, {"GET / HTTP/1.1"}));
  EXPECT_FALSE(state.Authentication().Authenticated);
  // Authentication switched off: every upgrade goes on.
  options.Enabled = false;
  EXPECT_EQ(Upgrade({"GET / HTTP/1.1"}), "allowed");
}

TEST_F(AuthFixture, TheMonitorSecretMarksInternalConnectionsAndAnEmptyOneNothing) {
  TzorWSConnectionAuthState& plain = NewConnection();
  EXPECT_THROW(authenticator.AuthenticateUpgrade(nullptr, plain, {"GET /anything HTTP/1.1"}), TzorWSException);
  EXPECT_FALSE(plain.Internal);
  authenticator.SetWatchDogMonitorSecret("0123456789ABCDEF0123456789ABCDEF");
  TzorWSConnectionAuthState& monitor = NewConnection();
  authenticator.AuthenticateUpgrade(nullptr, monitor, {"GET /watch/0123456789ABCDEF0123456789ABCDEFx HTTP/1.1"});
  EXPECT_TRUE(monitor.Internal);
  EXPECT_THROW(authenticator.AuthenticateUpgrade(nullptr, NewConnection(), {"GET /0123456789ABCDEF HTTP/1.1"}),
               TzorWSException);
}

TEST_F(AuthFixture, BasicCredentialsOfHTTPRequests) {
  TzorWSConnectionAuthState& state = NewConnection();
  EXPECT_TRUE(authenticator.CheckBasicCredentials(nullptr, state, EncodeBase64Text("alice:secret", false)));
  EXPECT_FALSE(authenticator.CheckBasicCredentials(nullptr, state, EncodeBase64Text("alice:", false)));
  EXPECT_FALSE(authenticator.CheckBasicCredentials(nullptr, state, "!!!"));
  EXPECT_TRUE(authenticator.CheckBasicCredentials(nullptr, state, EncodeBase64Text("bob:b:c", false)));
}

class ManualClockSessions : public TzorWSSessionList {
 public:
  using TzorWSSessionList::TzorWSSessionList;
  Clock::time_point now{};
 protected:
  Clock::time_point Now() const override { return now; }
};

TEST(SessionList, SessionsExpireAndTheListIsBounded) {
  ManualClockSessions sessions(std::chrono::seconds(60), 2);
  EXPECT_FALSE(sessions.AddSession("", "u", "p"));
  EXPECT_TRUE(sessions.AddSession("A", "u", "p:q"));
  EXPECT_FALSE(sessions.AddSession("A", "x", "y"));
  EXPECT_TRUE(sessions.AddSession("B", "u", "p"));
  EXPECT_FALSE(sessions.AddSession("C", "u", "p"));  // full
  sessions.now += std::chrono::seconds(61);
  EXPECT_FALSE(sessions.SessionExists("A"));
  std::string user, password;
  EXPECT_FALSE(sessions.TakeSession("A", user, password));
  EXPECT_TRUE(sessions.AddSession("C", "carol", "p:q"));  // expired ones make room
  EXPECT_TRUE(sessions.TakeSession("C", user, password));
  EXPECT_EQ(user, "carol");
  EXPECT_EQ(password, "p:q");
  EXPECT_FALSE(sessions.TakeSession("C", user, password));
}

TEST(Secrets, ComparisonNeedsBothSidesAndEqualBytes) {
  EXPECT_TRUE(SecretsEqual("abc", "abc"));
  EXPECT_FALSE(SecretsEqual("abc", "abd"));
  EXPECT_FALSE(SecretsEqual("abc", "abcd"));
  EXPECT_FALSE(SecretsEqual("", ""));
  EXPECT_FALSE(SecretsEqual("abc", ""));
}

}  // namespace
}  // namespace zor
