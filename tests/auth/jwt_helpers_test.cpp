#include "auth/jwt_algorithm.h"
#include "auth/jwt_helpers.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

TEST(JWTAlgorithm, TextFormsRoundTripAndUnknownIsNone) {
  for (int i = jwtHS256; i <= jwtES512; ++i) {
    const auto alg = static_cast<TzorHTTP_JWT_Algorithm>(i);
    EXPECT_EQ(TextToJWTAlgorithm(JWTAlgorithmToText(alg)), alg);
    EXPECT_EQ(JWTAlgorithmOf(JWTAlgorithmFamily(alg), JWTAlgorithmDigestBits(alg)), alg);
  }
  EXPECT_EQ(JWTAlgorithmToText(jwtNone), "");
  EXPECT_EQ(JWTAlgorithmToText(static_cast<TzorHTTP_JWT_Algorithm>(10)), "");
  EXPECT_EQ(JWTAlgorithmToText(jwtES384), "ES384");
  for (const char* text : {"", "none", "hs256", "HS256 ", "PS256", "EdDSA"})
    EXPECT_EQ(TextToJWTAlgorithm(text), jwtNone) << text;
  EXPECT_EQ(JWTAlgorithmFamily(jwtRS384), TJWTFamily::RSA);
  EXPECT_EQ(JWTAlgorithmDigestBits(jwtES512), 512);
  EXPECT_EQ(JWTAlgorithmOf(TJWTFamily::None, 256), jwtNone);
}

TEST(JWTBase64, UrlSafeFormsOfBrokenAndPaddedText) {
  // 76 characters a line with CR LF breaks, as a line-breaking encoder writes.
  TBytes bytes;
  for (int i = 0; i < 120; ++i) bytes.push_back(static_cast<uint8_t>(251 + i * 7));
  std::string standard = BytesToBase64(bytes);
  ASSERT_NE(standard.find_first_of("+/"), std::string::npos);
  std::string broken;
  for (size_t i = 0; i < standard.size(); i += 76) broken += standard.substr(i, 76) + "\r\n";
  broken += "\n\r";
  const std::string url = Base64ToBase64URL(broken);
  EXPECT_EQ(url.find_first_of("\r\n=+/"), std::string::npos);
  EXPECT_EQ(url.size(), 160u);
  EXPECT_EQ(Base64ToBytes(Base64URLToBase64(url)), bytes);
  EXPECT_EQ(EncodeJWTPart(bytes), url);

  EXPECT_EQ(Base64URLToBase64("abcdefghijklmnopqrst-_"), "abcdefghijklmnopqrst+/==");
  EXPECT_EQ(Base64URLToBase64("abc"), "abc=");
  EXPECT_EQ(Base64URLToBase64("abcd"), "abcd");
  EXPECT_EQ(Base64ToBase64URL("Zg=="), "Zg");
}

TEST(JWTBase64, StrictPartsForSignatures) {
  bool ok = false;
  EXPECT_EQ(DecodeBase64URLPart("Zm9v", ok), (TBytes{'f', 'o', 'o'}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(DecodeBase64URLPart("-_8", ok), (TBytes{0xFB, 0xFF}));
  EXPECT_TRUE(ok);
  for (const char* part : {"Zg==", "Z", "Zm9v!", "Zm 9v", "+/8", "Zm9vY"}) {
    EXPECT_TRUE(DecodeBase64URLPart(part, ok).empty()) << part;
    EXPECT_FALSE(ok) << part;
  }
  EXPECT_TRUE(IsBase64URLPart(""));
}

}  // namespace
}  // namespace zor
