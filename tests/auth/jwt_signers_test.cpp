#include "auth/jwt_helpers.h"
#include "auth/jwt_signers.h"
#include "jwt_test_support.h"

#include "base/exceptions.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

using test::Bytes;
using test::KeyBytes;
using test::ReadKey;

// RFC 7515 appendix A: the header and payload octets (with their CR LF line
// breaks) and the parts they encode to.
const std::string kA1Header = "{\"typ\":\"JWT\",\r\n \"alg\":\"HS256\"}";
const std::string kPayload = "{\"iss\":\"joe\",\r\n \"exp\":1300819380,\r\n \"http://example.com/is_root\":true}";
const std::string kA1HeaderPart = "eyJ0eXAiOiJKV1QiLA0KICJhbGciOiJIUzI1NiJ9";
const std::string kPayloadPart =
    "eyJpc3MiOiJqb2UiLA0KICJleHAiOjEzMDA4MTkzODAsDQogImh0dHA6Ly9leGFtcGxlLmNvbS9pc19yb290Ijp0cnVlfQ";
const std::string kA1Key =
    "AyM1SysPpbyDfgZld3umj1qzKObwVMkoqQ-EstJQLr_T-1qS0gZH75aKtMN3Yj0iPS4hcgUuTwjAzZr1Z9CAow";
const std::string kA2HeaderPart = "eyJhbGciOiJSUzI1NiJ9";
const std::string kA2Signature =
    "cC4hiUPoj9Eetdgtv3hF80EGrhuB__dzERat0XF9g2VtQgr9PJbu3XOiZj5RZmh7AAuHIm4Bh-0Qc_lF5YKt_O8W2Fp5jujGbds9"
    "uJdbF9CUAr7t1dnZcAcQjbKBYNX4BAynRFdiuB--f_nZLgrnbyTyWzO75vRK5h6xBArLIARNPvkSjtQBMHlb1L07Qe7K0GarZRmB"
    "_eSN9383LcOLn6_dO--xi12jzDwusC-eOkHWEsqtFZESc6BfI7noOPqvhJ1phCnvWh6IeYI2w9QOYEUipUTI8np6LbgGY9Fs98rq"
    "Vt5AXLIhWkWywlVmtVrBp0igcN_IoypGlUPQGe77Rw";
const std::string kA3HeaderPart = "eyJhbGciOiJFUzI1NiJ9";
const std::string kA3Signature =
    "DtEhU3ljbEg8L38VWAfUAqOyKAM6-Xx-F4GawxaepmXFCgfTjDxw5djxLa8ISlSApmWQxfKTUJqPP3-Kg6NU1Q";

std::string Raw(const TBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(JWTRfc7515, A1HmacSha256ByteForByte) {
  EXPECT_EQ(EncodeJWTPart(kA1Header), kA1HeaderPart);
  EXPECT_EQ(EncodeJWTPart(kPayload), kPayloadPart);
  const TBytes key = Base64ToBytes(Base64URLToBase64(kA1Key));
  ASSERT_EQ(key.size(), 64u);
  TzorHTTP_JWT_HMAC hmac;
  const TBytes mac = hmac.SignHMAC256(Bytes(SigningInput(kA1HeaderPart, kPayloadPart)), key);
  EXPECT_EQ(EncodeJWTPart(mac), "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk");
  EXPECT_TRUE(hmac.ValidateHMAC256(kA1HeaderPart, kPayloadPart, Raw(key), EncodeJWTPart(mac)));
  EXPECT_FALSE(hmac.ValidateHMAC384(kA1HeaderPart, kPayloadPart, Raw(key), EncodeJWTPart(mac)));
}

TEST(JWTRfc7515, A2RsaSha256ByteForByte) {
  TzorHTTP_JWT_RSA rsa;
  const TBytes signature =
      rsa.SignRSA256(Bytes(SigningInput(kA2HeaderPart, kPayloadPart)), KeyBytes("rfc7515_a2_private.pem"));
  EXPECT_EQ(signature.size(), 256u);
  EXPECT_EQ(EncodeJWTPart(signature), kA2Signature);
  EXPECT_TRUE(rsa.ValidateRSA256(kA2HeaderPart, kPayloadPart, ReadKey("rfc7515_a2_public.pem"), kA2Signature));
}

TEST(JWTRfc7515, A3EcdsaP256Verifies) {
  TzorHTTP_JWT_ES es;
  const std::string key = ReadKey("rfc7515_a3_public.pem");
  EXPECT_TRUE(es.ValidateES256(kA3HeaderPart, kPayloadPart, key, kA3Signature));
  std::string tampered_payload = kPayloadPart;
  tampered_payload[5] = tampered_payload[5] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(es.ValidateES256(kA3HeaderPart, tampered_payload, key, kA3Signature));
  // A signature of ours with the same key verifies too.
  const TBytes ours =
      es.SignES256(Bytes(SigningInput(kA3HeaderPart, kPayloadPart)), KeyBytes("rfc7515_a3_private.pem"));
  EXPECT_TRUE(es.ValidateES256(kA3HeaderPart, kPayloadPart, key, EncodeJWTPart(ours)));
}

TEST(JWTHmac, SizesEmptySecretAndSpelling) {
  TzorHTTP_JWT_HMAC hmac;
  const TBytes input = Bytes("a.b");
  EXPECT_EQ(hmac.SignHMAC256(input, Bytes("k")).size(), 32u);
  EXPECT_EQ(hmac.SignHMAC384(input, Bytes("k")).size(), 48u);
  EXPECT_EQ(hmac.SignHMAC512(input, Bytes("k")).size(), 64u);
  // Signing with an empty secret is possible, but such a secret never verifies.
  const std::string with_empty = EncodeJWTPart(hmac.SignHMAC256(input, {}));
  EXPECT_FALSE(hmac.ValidateHMAC256("a", "b", "", with_empty));
  const std::string good = EncodeJWTPart(hmac.SignHMAC512(input, Bytes("secret")));
  EXPECT_TRUE(hmac.ValidateHMAC512("a", "b", "secret", good));
  EXPECT_FALSE(hmac.ValidateHMAC512("a", "b", "secreT", good));
  EXPECT_FALSE(hmac.ValidateHMAC512("a", "b", "secret", good.substr(0, good.size() - 1)));
  EXPECT_FALSE(hmac.ValidateHMAC512("a", "b", "secret", good + "A"));
  EXPECT_FALSE(hmac.ValidateHMAC512("a", "b", "secret", good + "=="));
  EXPECT_FALSE(hmac.ValidateHMAC512("a", "b", "secret", ""));
  EXPECT_EQ(ErrorOf([&] { hmac.Sign(128, input, Bytes("k")); }), "Unsupported signing algorithm!");
}

TEST(JWTRsa, EveryPemFormSignsAndVerifiesAlike) {
  TzorHTTP_JWT_RSA rsa;
  const TBytes input = Bytes(SigningInput("h", "p"));
  for (int bits : {256, 384, 512}) {
    const TBytes pkcs1 = rsa.Sign(bits, input, KeyBytes("rsa2048_pkcs1.pem"));
    const TBytes pkcs8 = rsa.Sign(bits, input, KeyBytes("rsa2048_pkcs8.pem"));
    EXPECT_EQ(pkcs1, pkcs8);  // PKCS#1 v1.5 is deterministic
    EXPECT_EQ(pkcs1.size(), 256u);
    const std::string part = EncodeJWTPart(pkcs1);
    EXPECT_TRUE(rsa.Validate(bits, "h", "p", ReadKey("rsa2048_public.pem"), part));
    EXPECT_TRUE(rsa.Validate(bits, "h", "p", ReadKey("rsa2048_public_pkcs1.pem"), part));
    EXPECT_FALSE(rsa.Validate(bits, "h", "P", ReadKey("rsa2048_public.pem"), part));
    EXPECT_FALSE(rsa.Validate(bits == 256 ? 384 : 256, "h", "p", ReadKey("rsa2048_public.pem"), part));
  }
}

TEST(JWTRsa, RejectsMalformedSignatures) {
  TzorHTTP_JWT_RSA rsa;
  const std::string public_key = ReadKey("rsa2048_public.pem");
  const TBytes signature = rsa.SignRSA256(Bytes("h.p"), KeyBytes("rsa2048_pkcs1.pem"));
  const std::string part = EncodeJWTPart(signature);
  ASSERT_TRUE(rsa.ValidateRSA256("h", "p", public_key, part));
  // One byte short, one byte long, characters outside the URL-safe alphabet.
  EXPECT_FALSE(rsa.ValidateRSA256("h", "p", public_key, EncodeJWTPart(TBytes(signature.begin() + 1, signature.end()))));
  TBytes longer = signature;
  longer.insert(longer.begin(), 0);
  EXPECT_FALSE(rsa.ValidateRSA256("h", "p", public_key, EncodeJWTPart(longer)));
  EXPECT_FALSE(rsa.ValidateRSA256("h", "p", public_key, part + "=="));
  EXPECT_FALSE(rsa.ValidateRSA256("h", "p", public_key, "!" + part));
  EXPECT_FALSE(rsa.ValidateRSA256("h", "p", public_key, ""));
}

TEST(JWTRsa, KeyFailuresAreErrors) {
  TzorHTTP_JWT_RSA rsa;
  const TBytes input = Bytes("h.p");
  EXPECT_EQ(ErrorOf([&] { rsa.SignRSA256(input, Bytes("not a key")); }), "Unable to load private key");
  // Encrypted keys fail instead of asking for a pass phrase on the terminal.
  EXPECT_EQ(ErrorOf([&] { rsa.SignRSA256(input, KeyBytes("rsa2048_encrypted.pem")); }), "Unable to load private key");
  EXPECT_EQ(ErrorOf([&] { rsa.SignRSA256(input, KeyBytes("rsa2048_encrypted_pkcs1.pem")); }),
            "Unable to load private key");
  EXPECT_EQ(ErrorOf([&] { rsa.SignRSA256(input, KeyBytes("ec256.pem")); }), "Unable to extract private key");
  EXPECT_EQ(ErrorOf([&] { rsa.ValidateRSA256("h", "p", "", "AA"); }), "Cannot Load Public Key.");
  EXPECT_EQ(ErrorOf([&] { rsa.ValidateRSA256("h", "p", ReadKey("ec256_public.pem"), "AA"); }),
            "Cannot Load Public Key.");
  EXPECT_EQ(ErrorOf([&] { rsa.Validate(128, "h", "p", ReadKey("rsa2048_public.pem"), "AA"); }),
            "[RSA] Unsupported signing algorithm!");
}

struct Curve {
  int bits;
  const char* private_key;
  const char* pkcs8_key;
  const char* public_key;
  size_t size;
};
const Curve kCurves[] = {
    {256, "ec256.pem", "ec256_pkcs8.pem", "ec256_public.pem", 64},
    {384, "ec384.pem", "ec384_pkcs8.pem", "ec384_public.pem", 96},
    {512, "ec521.pem", "ec521_pkcs8.pem", "ec521_public.pem", 132},
};

TEST(JWTEcdsa, FixedSizeSignaturesOnEveryCurveAndForm) {
  TzorHTTP_JWT_ES es;
  const TBytes input = Bytes("h.p");
  for (const Curve& curve : kCurves) {
    SCOPED_TRACE(curve.bits);
    EXPECT_EQ(ESSignatureSize(curve.bits), curve.size);
    for (const char* key : {curve.private_key, curve.pkcs8_key}) {
      const TBytes signature = es.Sign(curve.bits, input, KeyBytes(key));
      ASSERT_EQ(signature.size(), curve.size);
      const std::string part = EncodeJWTPart(signature);
      EXPECT_TRUE(es.Validate(curve.bits, "h", "p", ReadKey(curve.public_key), part));
      EXPECT_FALSE(es.Validate(curve.bits, "h", "q", ReadKey(curve.public_key), part));
      // Wrong lengths are refused, not read as shorter numbers.
      TBytes longer = signature;
      longer.push_back(0);
      EXPECT_FALSE(es.Validate(curve.bits, "h", "p", ReadKey(curve.public_key), EncodeJWTPart(longer)));
      EXPECT_FALSE(es.Validate(curve.bits, "h", "p", ReadKey(curve.public_key),
                               EncodeJWTPart(TBytes(signature.begin(), signature.end() - 1))));
    }
  }
}

TEST(JWTEcdsa, LeadingZeroBytesKeepTheirPlace) {
  TzorHTTP_JWT_ES es;
  const TBytes key = KeyBytes("ec256.pem");
  const std::string public_key = ReadKey("ec256_public.pem");
  // About one signature in 128 has an R or S below 2^248; try until one does.
  int found = 0;
  for (int i = 0; i < 5000 && found < 2; ++i) {
    const std::string payload = "p" + std::to_string(i);
    const TBytes signature = es.SignES256(Bytes(SigningInput("h", payload)), key);
    ASSERT_EQ(signature.size(), 64u);
    if (signature[0] != 0 && signature[32] != 0) continue;
    ++found;
    EXPECT_TRUE(es.ValidateES256("h", payload, public_key, EncodeJWTPart(signature)));
  }
  EXPECT_EQ(found, 2);
}

TEST(JWTEcdsa, CurveMustMatchAlgorithm) {
  TzorHTTP_JWT_ES es;
  const TBytes input = Bytes("h.p");
  EXPECT_EQ(ErrorOf([&] { es.SignES384(input, KeyBytes("ec256.pem")); }), "The EC key's curve does not match ES384");
  EXPECT_EQ(ErrorOf([&] { es.SignES256(input, KeyBytes("ec521.pem")); }), "The EC key's curve does not match ES256");
  const std::string p256_signature = EncodeJWTPart(es.SignES256(input, KeyBytes("ec256.pem")));
  EXPECT_EQ(ErrorOf([&] { es.ValidateES512("h", "p", ReadKey("ec256_public.pem"), p256_signature); }),
            "The EC key's curve does not match ES512");
}

TEST(JWTEcdsa, KeyFailuresAreErrors) {
  TzorHTTP_JWT_ES es;
  const TBytes input = Bytes("h.p");
  EXPECT_EQ(ErrorOf([&] { es.SignES256(input, Bytes("")); }), "Unable to load private key");
  EXPECT_EQ(ErrorOf([&] { es.SignES256(input, KeyBytes("rsa2048_pkcs8.pem")); }), "Unable to get EC Key");
  EXPECT_EQ(ErrorOf([&] { es.ValidateES256("h", "p", "junk", "AA"); }), "Cannot Load Public Key.");
  EXPECT_EQ(ErrorOf([&] { es.ValidateES256("h", "p", ReadKey("rsa2048_public.pem"), "AA"); }),
            "Cannot get EC_KEY.");
}

}  // namespace
}  // namespace zor
