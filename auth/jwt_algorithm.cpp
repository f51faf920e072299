#include "auth/jwt_algorithm.h"

#include <array>

namespace zor {

namespace {

struct AlgorithmInfo {
  TzorHTTP_JWT_Algorithm alg;
  const char* text;
  TJWTFamily family;
  int digest_bits;
};

constexpr std::array<AlgorithmInfo, 10> kAlgorithms{{
    {jwtNone, "", TJWTFamily::None, 0},
    {jwtHS256, "HS256", TJWTFamily::HMAC, 256},
    {jwtHS384, "HS384", TJWTFamily::HMAC, 384},
    {jwtHS512, "HS512", TJWTFamily::HMAC, 512},
    {jwtRS256, "RS256", TJWTFamily::RSA, 256},
    {jwtRS384, "RS384", TJWTFamily::RSA, 384},
    {jwtRS512, "RS512", TJWTFamily::RSA, 512},
    {jwtES256, "ES256", TJWTFamily::ECDSA, 256},
    {jwtES384, "ES384", TJWTFamily::ECDSA, 384},
    {jwtES512, "ES512", TJWTFamily::ECDSA, 512},
}};

const AlgorithmInfo& Info(TzorHTTP_JWT_Algorithm alg) {
  const auto index = static_cast<size_t>(alg);
  return index < kAlgorithms.size() ? kAlgorithms[index] : kAlgorithms[0];
}

}  // namespace

std::string JWTAlgorithmToText(TzorHTTP_JWT_Algorithm alg) { return Info(alg).text; }

TzorHTTP_JWT_Algorithm TextToJWTAlgorithm(std::string_view text) {
  if (text.empty()) return jwtNone;
  for (const auto& info : kAlgorithms)
    if (text == info.text) return info.alg;
  return jwtNone;
}

TJWTFamily JWTAlgorithmFamily(TzorHTTP_JWT_Algorithm alg) { return Info(alg).family; }

int JWTAlgorithmDigestBits(TzorHTTP_JWT_Algorithm alg) { return Info(alg).digest_bits; }

TzorHTTP_JWT_Algorithm JWTAlgorithmOf(TJWTFamily family, int digest_bits) {
  for (const auto& info : kAlgorithms)
    if (info.family == family && info.digest_bits == digest_bits && family != TJWTFamily::None)
      return info.alg;
  return jwtNone;
}

}  // namespace zor
