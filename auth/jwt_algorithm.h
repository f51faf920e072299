#pragma once
// The JWS algorithms a token may name, their text forms and families.
#include <cstddef>
#include <string>
#include <string_view>

namespace zor {

enum TzorHTTP_JWT_Algorithm {
  jwtNone,
  jwtHS256,
  jwtHS384,
  jwtHS512,
  jwtRS256,
  jwtRS384,
  jwtRS512,
  jwtES256,
  jwtES384,
  jwtES512,
};

// "HS256" ... "ES512"; jwtNone (and anything out of range) gives empty text.
std::string JWTAlgorithmToText(TzorHTTP_JWT_Algorithm alg);
// Exact, case-sensitive names; any other text gives jwtNone.
TzorHTTP_JWT_Algorithm TextToJWTAlgorithm(std::string_view text);

enum class TJWTFamily { None, HMAC, RSA, ECDSA };

TJWTFamily JWTAlgorithmFamily(TzorHTTP_JWT_Algorithm alg);
// 256, 384 or 512 (the SHA-2 size); 0 for jwtNone.
int JWTAlgorithmDigestBits(TzorHTTP_JWT_Algorithm alg);
// The algorithm of a family and digest size; jwtNone when there is none.
TzorHTTP_JWT_Algorithm JWTAlgorithmOf(TJWTFamily family, int digest_bits);

}  // namespace zor
