#include "auth/jwt_client.h"

#include "auth/jwt_helpers.h"
#include "base/paths.h"

namespace zor {

namespace {

void ApplyOpenSSLOptions(const TzorSocketOpenSSL_Options& options) {
  SetOpenSSLAPIVersion(options.APIVersion());
  switch (options.LibPath()) {
    case oslpDefaultFolder: SetOpenSSLDirectory(ProgramDirectory()); break;
    case oslpCustomPath: SetOpenSSLDirectory(options.LibPathCustom()); break;
    case oslpNone: break;
  }
}

TBytes KeyBytes(const std::string& text) { return TBytes(text.begin(), text.end()); }

}  // namespace

TzorHTTPComponentClient_JWT::TSigningInput TzorHTTPComponentClient_JWT::TakeSigningInput() {
  std::lock_guard guard(FSignLock);
  TzorHTTP_JWTPayload& payload = FJWTOptions.Payload();
  if (FJWTOptions.RefreshTokenAfter() > 0) {
    const int64_t now = UnixSecondsNow();
    payload.Setiat(now);
    payload.Setexp(now + FJWTOptions.RefreshTokenAfter());
  }
  ApplyOpenSSLOptions(FJWTOptions.OpenSSL_Options());
  TSigningInput input;
  input.alg = FJWTOptions.Header().alg();
  input.header_json = FJWTOptions.Header().JSONText();
  input.payload_json = payload.JSONText();
  const auto& algorithms = FJWTOptions.Algorithms();
  switch (JWTAlgorithmFamily(input.alg)) {
    case TJWTFamily::HMAC: input.key = KeyBytes(algorithms.HS().Secret()); break;
    case TJWTFamily::RSA: input.key = KeyBytes(JoinKeyLines(algorithms.RS().PrivateKey())); break;
    case TJWTFamily::ECDSA: input.key = KeyBytes(JoinKeyLines(algorithms.ES().PrivateKey())); break;
    case TJWTFamily::None: break;
  }
  return input;
}

std::string TzorHTTPComponentClient_JWT::Sign() {
  const TSigningInput input = TakeSigningInput();
  switch (JWTAlgorithmFamily(input.alg)) {
    case TJWTFamily::HMAC: return SignHS(input);
    case TJWTFamily::RSA: return SignRS(input);
    case TJWTFamily::ECDSA: return SignES(input);
    case TJWTFamily::None: break;
  }
  return {};
}

std::string TzorHTTPComponentClient_JWT::Assemble(const TzorHTTP_JWT_Base& signer, const TSigningInput& aInput) {
  const std::string header = EncodeJWTPart(aInput.header_json);
  const std::string payload = EncodeJWTPart(aInput.payload_json);
  const std::string signing_input = SigningInput(header, payload);
  const TBytes signature =
      signer.Sign(JWTAlgorithmDigestBits(aInput.alg), TBytes(signing_input.begin(), signing_input.end()), aInput.key);
  return signing_input + "." + EncodeJWTPart(signature);
}

std::string TzorHTTPComponentClient_JWT::SignHS(const TSigningInput& aInput) { return Assemble(FJWTHMAC, aInput); }

std::string TzorHTTPComponentClient_JWT::SignRS(const TSigningInput& aInput) { return Assemble(FJWTRSA, aInput); }

std::string TzorHTTPComponentClient_JWT::SignES(const TSigningInput& aInput) { return Assemble(FJWTES, aInput); }

void TzorHTTPComponentClient_JWT::Start() {
  std::string token;
  try {
    token = Sign();
  } catch (const std::exception& e) {
    DoAuthTokenError("JWT Error", e.what(), "");
    return;
  }
  if (token.empty()) {
    DoAuthTokenError("JWT Error", "JWT Token cannot be empty.", "");
    return;
  }
  DoAuthToken("Bearer", token, "");
}

}  // namespace zor
