#include "auth/jwt_claims.h"

#include "base/exceptions.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

TEST(JWTHeader, StandardClaimsInOrder) {
  TzorHTTP_JWTHeader header;
  EXPECT_EQ(header.JSONText(), R"({"alg":"","typ":"JWT"})");
  header.Setalg(jwtHS256);
  EXPECT_EQ(header.JSONText(), R"({"alg":"HS256","typ":"JWT"})");
  header.Setkid("k1");
  EXPECT_EQ(header.JSONText(), R"({"alg":"HS256","typ":"JWT","kid":"k1"})");
  header.Setalg(jwtRS256);
  header.Setkid("");
  header.Settyp("");
  EXPECT_EQ(header.JSONText(), R"({"alg":"RS256","typ":""})");
}

TEST(JWTPayload, StandardClaimsOnlyWhenSet) {
  TzorHTTP_JWTPayload payload;
  EXPECT_EQ(payload.JSONText(), "{}");
  payload.Setiss("me");
  payload.Setexp(1700000000);
  payload.Setiat(0);
  EXPECT_EQ(payload.JSONText(), R"({"iss":"me","exp":1700000000})");
  payload.Setnbf(5);
  payload.Setiat(4);
  payload.Setjti("j");
  payload.Setaud("a");
  payload.Setsub("s");
  EXPECT_EQ(payload.JSONText(), R"({"iss":"me","sub":"s","aud":"a","jti":"j","iat":4,"exp":1700000000,"nbf":5})");
}

TEST(JWTClaims, CustomClaimsByKindAndReplacingStandardOnes) {
  TzorHTTP_JWTPayload payload;
  payload.Setiss("me");
  payload.Setexp(7);
  payload.AddKeyValue("admin", true);
  payload.AddKeyValue("off", false);
  payload.AddKeyValue("n", "42");
  payload.AddKeyValue("neg", "-7");
  payload.AddKeyValue("plus", "+5");
  payload.AddKeyValue("s", "a/b");
  payload.AddKeyValue("f", "1.5");
  payload.AddKeyValue("big", "99999999999999999999");
  payload.AddKeyValue("t", "true");
  payload.AddKeyValue("e", "");
  payload.AddKeyValue("iss", "you");
  EXPECT_EQ(payload.JSONText(),
            R"({"iss":"you","exp":7,"admin":true,"off":false,"n":42,"neg":-7,"plus":5,"s":"a\/b","f":"1.5",)"
            R"("big":"99999999999999999999","t":true,"e":""})");
  // The value is everything after the first "=".
  payload.ClearKeyValues();
  payload.AddKeyValue("eq", "a=b");
  EXPECT_EQ(payload.JSONText(), R"({"iss":"me","exp":7,"eq":"a=b"})");
}

// Whatever the claims hold, the text stays valid JSON: names and values are
// escaped, string values are always quoted.
TEST(JWTClaims, HostileNamesAndValuesStayInsideTheirStrings) {
  TzorHTTP_JWTHeader header;
  header.Setalg(jwtES256);
  header.Setkid("k\"1");
  header.Settyp("{\"x\":1}");
  EXPECT_EQ(header.JSONText(), R"({"alg":"ES256","typ":"{\"x\":1}","kid":"k\"1"})");
  TzorHTTP_JWTPayload payload;
  payload.Setsub("line\nbreak\\");
  payload.AddKeyValue("role\",\"admin", "true");
  payload.AddKeyValue("raw", "[1,2]");
  payload.AddKeyValue("obj", "{\"admin\":true}");
  payload.AddKeyValue("quoted", "\"x\"");
  payload.AddKeyValue("caf\xC3\xA9", "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(payload.JSONText(),
            R"({"sub":"line\nbreak\\","role\",\"admin":true,"raw":"[1,2]","obj":"{\"admin\":true}",)"
            R"("quoted":"\"x\"","caf\u00E9":"\u00E9t\u00E9"})");
}

TEST(JWTClaims, AssignCopiesTheStandardClaims) {
  TzorHTTP_JWTHeader header, header_copy;
  header.Setalg(jwtES384);
  header.Setkid("k");
  header.Settyp("at+jwt");
  header_copy.Assign(header);
  EXPECT_EQ(header_copy.JSONText(), header.JSONText());

  TzorHTTP_JWTPayload payload, payload_copy;
  payload.Setaud("a");
  payload.Setexp(3);
  payload.Setiat(1);
  payload.Setnbf(2);
  payload.Setiss("i");
  payload.Setsub("s");
  payload.Setjti("j");
  payload_copy.Assign(payload);
  EXPECT_EQ(payload_copy.JSONText(), payload.JSONText());

  try {
    header.Assign(payload);
    FAIL() << "assigned a payload to a header";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TzorHTTP_JWTPayload to a TzorHTTP_JWTHeader");
  }
}

}  // namespace
}  // namespace zor
