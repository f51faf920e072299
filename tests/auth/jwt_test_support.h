#pragma once
// Test keys under tests/auth/keys (made for these tests only, and RFC 7515's
// example keys) and tokens made from them.
#include "auth/jwt_algorithm.h"
#include "auth/jwt_claims.h"
#include "auth/jwt_helpers.h"
#include "auth/jwt_signers.h"
#include "base/bytes.h"

#include <fstream>
#include <sstream>
#include <string>

namespace zor::test {

inline std::string ReadKey(const std::string& name) {
  std::ifstream in(std::string(ZOR_SOURCE_DIR) + "/tests/auth/keys/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (text.str().empty()) throw std::runtime_error("missing test key " + name);
  return text.str();
}

inline TBytes KeyBytes(const std::string& name) {
  const std::string text = ReadKey(name);
  return TBytes(text.begin(), text.end());
}

inline TBytes Bytes(std::string_view text) { return TBytes(text.begin(), text.end()); }

// A token of the algorithm over the payload text, signed with `key` (the
// secret, or a PEM private key).
inline std::string MakeToken(TzorHTTP_JWT_Algorithm alg, const std::string& payload_json, const TBytes& key) {
  TzorHTTP_JWTHeader header;
  header.Setalg(alg);
  const std::string h = EncodeJWTPart(header.JSONText());
  const std::string p = EncodeJWTPart(payload_json);
  const TBytes input = Bytes(SigningInput(h, p));
  const int bits = JWTAlgorithmDigestBits(alg);
  TBytes signature;
  switch (JWTAlgorithmFamily(alg)) {
    case TJWTFamily::HMAC: signature = TzorHTTP_JWT_HMAC().Sign(bits, input, key); break;
    case TJWTFamily::RSA: signature = TzorHTTP_JWT_RSA().Sign(bits, input, key); break;
    case TJWTFamily::ECDSA: signature = TzorHTTP_JWT_ES().Sign(bits, input, key); break;
    case TJWTFamily::None: break;
  }
  return h + "." + p + "." + EncodeJWTPart(signature);
}

}  // namespace zor::test
