#include "auth/bearer_token.h"
#include "auth/jwt_server.h"
#include "jwt_test_support.h"

#include "base/exceptions.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

using test::Bytes;
using test::KeyBytes;
using test::MakeToken;
using test::ReadKey;

constexpr int64_t kNow = 1700000000;
const std::string kSecret = "server secret";

// The clock stands still, so that "now" is the same when a token is made
// and when it is checked.
class FixedClockServer : public TzorHTTPComponentServer_JWT {
 public:
  int64_t now = kNow;

 protected:
  int64_t NowUnixSeconds() const override { return now; }
};

std::string HS256(const std::string& payload_json, const std::string& secret = kSecret) {
  return MakeToken(jwtHS256, payload_json, Bytes(secret));
}

// Records every event the component raises.
struct Recorder {
  std::vector<std::string> events;
  std::string error;
  std::string header, payload;
  std::string exception;

  void Attach(TzorHTTPComponentServer_JWT& server) {
    server.OnJWTBeforeRequest = [this](auto*, auto*, const auto&, bool&) { events.push_back("BeforeRequest"); };
    server.OnJWTBeforeValidateToken = [this](auto*, auto*, const auto&, bool&) {
      events.push_back("BeforeValidateToken");
    };
    server.OnJWTBeforeValidateSignature = [this](auto*, auto*, const auto&, const auto&, std::string&) {
      events.push_back("BeforeValidateSignature");
    };
    server.OnJWTAfterValidateToken = [this](auto*, auto*, const auto&, const std::string& h, const std::string& p,
                                            const std::string& e, bool&) {
      events.push_back("AfterValidateToken");
      header = h;
      payload = p;
      error = e;
    };
    server.OnJWTException = [this](auto*, auto*, const std::exception& e) {
      events.push_back("Exception");
      exception = e.what();
    };
  }
};

class JWTServer : public ::testing::Test {
 protected:
  void SetUp() override {
    server.JWTOptions().Algorithms().HS().SetSecret(kSecret);
    server.JWTOptions().Algorithms().RS().SetPublicKeyText(ReadKey("rsa2048_public.pem"));
    server.JWTOptions().Algorithms().ES().SetPublicKeyText(ReadKey("ec384_public.pem"));
    recorder.Attach(server);
  }

  bool Check(const std::string& token) { return server.IsJWTTokenValid(nullptr, token); }

  FixedClockServer server;
  Recorder recorder;
};

TEST(BearerToken, AuthorizationNameAndBearerSchemeInAnyCase) {
  EXPECT_EQ(FindBearerToken({"Host: x", "authorization: bearer X"}), "X");
  EXPECT_EQ(FindBearerToken({":method=GET", "authorization=Bearer X"}), "X");
  EXPECT_EQ(FindBearerToken({"AUTHORIZATION:   BEARER   a.b.c  "}), "a.b.c");
  EXPECT_EQ(FindBearerToken({"Authorization: Basic dTpw", "Authorization: Bearer t"}), "t");
  // The name must be Authorization itself, the scheme Bearer itself.
  EXPECT_EQ(FindBearerToken({"X-Authorization: Bearer stolen"}), "");
  EXPECT_EQ(FindBearerToken({"Referer: http://h/?Authorization: Bearer stolen"}), "");
  EXPECT_EQ(FindBearerToken({"Authorization: Bearerish t"}), "");
  EXPECT_EQ(FindBearerToken({"Authorization: Bearer"}), "");
  EXPECT_EQ(FindBearerToken({"Authorization : Bearer t"}), "");
  EXPECT_EQ(FindBearerToken({}), "");
}

TEST_F(JWTServer, HeaderLinesFindTheTokenOrStopEarly) {
  const std::string token = HS256("{}");
  EXPECT_TRUE(server.IsJWTTokenValid(nullptr, {"Host: h", "Authorization: Bearer " + token}));
  EXPECT_TRUE(server.IsJWTTokenValid(nullptr, {":path=/", "authorization=bearer " + token}));
  recorder.events.clear();
  EXPECT_FALSE(server.IsJWTTokenValid(nullptr, {"Host: h", "X-Authorization: Bearer " + token}));
  EXPECT_EQ(recorder.events, std::vector<std::string>{"BeforeRequest"});

  // A handler that cancels lets the request through unchecked.
  server.OnJWTBeforeRequest = [](auto*, auto*, const auto&, bool& cancel) { cancel = true; };
  EXPECT_TRUE(server.IsJWTTokenValid(nullptr, std::vector<std::string>{}));
}

TEST_F(JWTServer, EventsOfAValidToken) {
  const std::string payload = R"({"sub":"u","iat":1699999999,"exp":1700000100})";
  EXPECT_TRUE(Check(HS256(payload)));
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"BeforeValidateToken", "BeforeValidateSignature", "AfterValidateToken"}));
  EXPECT_EQ(recorder.header, R"({"alg":"HS256","typ":"JWT"})");
  EXPECT_EQ(recorder.payload, payload);
  EXPECT_EQ(recorder.error, "");

  server.OnJWTBeforeValidateToken = [](auto*, auto*, const auto&, bool& cancel) { cancel = true; };
  recorder.events.clear();
  EXPECT_FALSE(Check(HS256(payload)));
  EXPECT_TRUE(recorder.events.empty());
}

TEST_F(JWTServer, MalformedAndUnknownTokensEndInTheExceptionEvent) {
  const std::string good = HS256("{}");
  const std::pair<std::string, std::string> cases[] = {
      {good.substr(0, good.rfind('.')), "JWT is invalid, cannot be splitted."},
      {good + ".x", "JWT is invalid, cannot be splitted."},
      {"a b.c.d", "JWT is invalid, cannot be splitted."},
      // alg "none", an alg we do not know, and no alg at all.
      {EncodeJWTPart(std::string(R"({"alg":"none"})")) + ".e30.", "JWT cannot be validated"},
      {EncodeJWTPart(std::string(R"({"alg":"PS256"})")) + ".e30.AAAA", "JWT cannot be validated"},
      {EncodeJWTPart(std::string(R"({"typ":"JWT"})")) + ".e30.AAAA", "JWT cannot be validated"},
      {EncodeJWTPart(std::string(R"({"alg":["HS256"]})")) + ".e30.AAAA", "JWT cannot be validated"},
  };
  for (const auto& [token, message] : cases) {
    recorder.exception.clear();
    EXPECT_FALSE(Check(token)) << token;
    EXPECT_EQ(recorder.exception, message) << token;
  }
  std::string header, payload, error;
  EXPECT_THROW(server.Validate("a.b", header, payload, error), Exception);
}

TEST_F(JWTServer, SignatureFailuresAndSwitchedOffFamilies) {
  EXPECT_FALSE(Check(HS256("{}", "other secret")));
  EXPECT_EQ(recorder.error, "Invalid signature");

  // A payload changed after signing.
  std::string token = HS256(R"({"admin":false})");
  const size_t dot = token.find('.');
  token = token.substr(0, dot + 1) + EncodeJWTPart(std::string(R"({"admin":true})")) + token.substr(token.rfind('.'));
  EXPECT_FALSE(Check(token));

  server.JWTOptions().Algorithms().HS().SetEnabled(false);
  EXPECT_FALSE(Check(HS256("{}")));
  EXPECT_EQ(recorder.error, "HS Algorithm not supported");
  server.JWTOptions().Algorithms().RS().SetEnabled(false);
  EXPECT_FALSE(Check(MakeToken(jwtRS256, "{}", KeyBytes("rsa2048_pkcs1.pem"))));
  EXPECT_EQ(recorder.error, "RS Algorithm not supported");
  server.JWTOptions().Algorithms().ES().SetEnabled(false);
  EXPECT_FALSE(Check(MakeToken(jwtES384, "{}", KeyBytes("ec384.pem"))));
  EXPECT_EQ(recorder.error, "ES Algorithm not supported");
}

TEST_F(JWTServer, EachFamilyUsesItsOwnKey) {
  EXPECT_TRUE(Check(MakeToken(jwtRS512, "{}", KeyBytes("rsa2048_pkcs8.pem"))));
  EXPECT_TRUE(Check(MakeToken(jwtES384, "{}", KeyBytes("ec384_pkcs8.pem"))));
  // The RSA public key is no HMAC secret: a token "signed" with it under an
  // HS algorithm does not pass.
  EXPECT_FALSE(Check(MakeToken(jwtHS256, "{}", KeyBytes("rsa2048_public.pem"))));
  // ES384 key configured: an ES256 token fails on the curve check.
  EXPECT_FALSE(Check(MakeToken(jwtES256, "{}", KeyBytes("ec256.pem"))));
  EXPECT_EQ(recorder.exception, "The EC key's curve does not match ES256");
  // The key supplied per request by the event.
  server.OnJWTBeforeValidateSignature = [](auto*, auto*, const auto&, const auto&, std::string& secret) {
    secret = ReadKey("ec256_public.pem");
  };
  EXPECT_TRUE(Check(MakeToken(jwtES256, "{}", KeyBytes("ec256.pem"))));
}

TEST_F(JWTServer, EmptySecretNeverVerifies) {
  server.JWTOptions().Algorithms().HS().SetSecret("");
  EXPECT_FALSE(Check(HS256("{}", "")));
  server.OnJWTBeforeValidateSignature = [](auto*, auto*, const auto&, const auto&, std::string& secret) {
    secret = "per-request secret";
  };
  EXPECT_TRUE(Check(HS256("{}", "per-request secret")));
  server.OnJWTBeforeValidateSignature = [](auto*, auto*, const auto&, const auto&, std::string& secret) {
    secret.clear();
  };
  server.JWTOptions().Algorithms().HS().SetSecret(kSecret);
  EXPECT_FALSE(Check(HS256("{}", "")));
}

TEST_F(JWTServer, TimeClaimsAgainstTheClock) {
  EXPECT_FALSE(Check(HS256(R"({"exp":1699999999})")));
  EXPECT_EQ(recorder.error, "Invalid exp value. ");
  EXPECT_TRUE(Check(HS256(R"({"exp":1700000000})")));
  EXPECT_TRUE(Check(HS256(R"({"nbf":1700000000,"iat":1700000000})")));
  EXPECT_FALSE(Check(HS256(R"({"nbf":1700000001})")));
  EXPECT_EQ(recorder.error, "Invalid nbf value. ");
  EXPECT_FALSE(Check(HS256(R"({"exp":1699999999,"nbf":1700000005,"iat":1700000009})")));
  EXPECT_EQ(recorder.error, "Invalid iat value. Invalid nbf value. Invalid exp value. ");
  // NumericDate may carry a fraction or an exponent.
  EXPECT_TRUE(Check(HS256(R"({"exp":1700000000.5})")));
  EXPECT_TRUE(Check(HS256(R"({"exp":1.7000001e9})")));
  server.now = kNow + 1;
  EXPECT_FALSE(Check(HS256(R"({"exp":1700000000.5})")));
  // Switched-off validations skip their claim.
  server.JWTOptions().Validations().SetExpiration(false);
  EXPECT_TRUE(Check(HS256(R"({"exp":1})")));
  server.JWTOptions().Validations().SetIssued(false);
  server.JWTOptions().Validations().SetNotBefore(false);
  EXPECT_TRUE(Check(HS256(R"({"iat":1800000000,"nbf":1800000000})")));
}

TEST_F(JWTServer, TimeClaimsThatAreNoNumbersFail) {
  for (const char* payload : {R"({"exp":"never"})", R"({"exp":"1800000000"})", R"({"exp":true})",
                              R"({"exp":null})", R"({"nbf":{}})", R"({"iat":[1]})"}) {
    EXPECT_FALSE(Check(HS256(payload))) << payload;
    EXPECT_NE(recorder.error, "") << payload;
  }
}

TEST_F(JWTServer, AfterEventDecidesAndErrorsNeverLeaveValid) {
  server.OnJWTAfterValidateToken = [](auto*, auto*, const auto&, const auto&, const auto&, const auto&, bool& valid) {
    valid = true;
  };
  EXPECT_TRUE(Check(HS256("{}", "wrong")));
  // An error after the signature was found good: the answer is false.
  server.OnJWTAfterValidateToken = [](auto*, auto*, const auto&, const auto&, const auto&, const auto&, bool&) {
    throw Exception("handler failed");
  };
  EXPECT_FALSE(Check(HS256("{}")));
  EXPECT_EQ(recorder.exception, "handler failed");
}

TEST_F(JWTServer, ValidateChecksTheSignatureOnly) {
  const std::string token = HS256(R"({"exp":1})");
  std::string header, payload, error = "stale";
  EXPECT_TRUE(server.Validate(token, header, payload, error));
  EXPECT_EQ(header, R"({"alg":"HS256","typ":"JWT"})");
  EXPECT_EQ(payload, R"({"exp":1})");
  EXPECT_EQ(error, "");
  EXPECT_FALSE(server.Validate(HS256("{}", "other"), header, payload, error));
  EXPECT_EQ(error, "");
  server.JWTOptions().Algorithms().HS().SetEnabled(false);
  EXPECT_FALSE(server.Validate(token, header, payload, error));
  EXPECT_EQ(error, "HS Algorithm not supported");
  try {
    server.Validate(EncodeJWTPart(std::string(R"({"alg":"none"})")) + ".e30.", header, payload, error);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "JWT cannot be validated");
  }
}

TEST_F(JWTServer, UnauthorizedAnswerAndOptionCopies) {
  EXPECT_TRUE(server.IsJWTUnauthorized(nullptr));
  server.OnJWTUnauthorized = [](auto*, auto*, bool& disconnect) { disconnect = false; };
  EXPECT_FALSE(server.IsJWTUnauthorized(nullptr));

  TzorHTTP_JWT_Server_Options copy;
  server.JWTOptions().Validations().SetNotBefore(false);
  server.JWTOptions().Algorithms().ES().SetEnabled(false);
  copy.Assign(server.JWTOptions());
  EXPECT_EQ(copy.Algorithms().HS().Secret(), kSecret);
  EXPECT_EQ(copy.Algorithms().RS().PublicKey(), server.JWTOptions().Algorithms().RS().PublicKey());
  EXPECT_EQ(copy.Algorithms().ES().KeyText(), server.JWTOptions().Algorithms().ES().KeyText());
  EXPECT_FALSE(copy.Algorithms().ES().Enabled());
  EXPECT_FALSE(copy.Validations().NotBefore());
  EXPECT_TRUE(copy.Validations().Expiration());

  FixedClockServer other;
  other.SetJWTOptions(copy);
  EXPECT_TRUE(other.IsJWTTokenValid(nullptr, HS256("{}")));

  try {
    copy.Algorithms().RS().Assign(copy.Algorithms().ES());
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzorHTTP_JWT_Server_ES_Options to a TzorHTTP_JWT_Server_RS_Options");
  }
}

}  // namespace
}  // namespace zor
