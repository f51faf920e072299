#pragma once
// A token source that signs JSON Web Tokens: the HTTP client starts it when
// it needs a token and receives "Bearer" and the token through OnAuthToken,
// or a failure through OnAuthTokenError. Each Start signs anew with the
// current options; no token is kept.
#include "auth/jwt_client_options.h"
#include "auth/jwt_signers.h"
#include "http/auth_token.h"

#include <mutex>
#include <string>

namespace zor {

// A token source that signs JSON Web Tokens for the HTTP client.
class TzorHTTPComponentClient_JWT : public TzorHTTPComponentClientAuthToken_Base {
 public:
  using TzorHTTPComponentClientAuthToken_Base::TzorHTTPComponentClientAuthToken_Base;

  TzorHTTP_JWT_Client_Options& JWTOptions() { return FJWTOptions; }
  const TzorHTTP_JWT_Client_Options& JWTOptions() const { return FJWTOptions; }
  void SetJWTOptions(const TzorHTTP_JWT_Client_Options& aValue) { FJWTOptions.Assign(aValue); }

  // The signed token; empty when Header.alg names no algorithm. Signing
  // failures raise. Safe to call from several threads at once.
  std::string Sign();
  // Signs and reports: OnAuthToken("Bearer", token) or OnAuthTokenError
  // ("JWT Error", message). Never raises for signing failures.
  void Start() override;
  int RefreshTokenAfter() const override { return FJWTOptions.RefreshTokenAfter(); }

 protected:
  // What one signing needs, taken from the options in one step.
  struct TSigningInput {
    TzorHTTP_JWT_Algorithm alg = jwtNone;
    std::string header_json;
    std::string payload_json;
    TBytes key;  // the secret, or the PEM private key text
  };
  virtual std::string SignHS(const TSigningInput& aInput);
  virtual std::string SignRS(const TSigningInput& aInput);
  virtual std::string SignES(const TSigningInput& aInput);

 private:
  TSigningInput TakeSigningInput();
  // header "." payload "." signature, signed by `signer`.
  static std::string Assemble(const TzorHTTP_JWT_Base& signer, const TSigningInput& aInput);

  const TzorHTTP_JWT_HMAC FJWTHMAC{};
  const TzorHTTP_JWT_RSA FJWTRSA{};
  const TzorHTTP_JWT_ES FJWTES{};
  TzorHTTP_JWT_Client_Options FJWTOptions;
  // Sign writes the time claims into the shared payload.
  std::mutex FSignLock;
};

}  // namespace zor
