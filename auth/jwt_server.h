#pragma once
// Server-side check of JSON Web Tokens: finds the bearer token in a
// request's header lines, verifies its signature by the algorithm the token
// names with the configured key of that family, and checks its time claims.
// Events let the application skip a check, supply the key per request,
// override the verdict and decide about connections without a valid token.
//
// Checks may run on several threads at once; options and event handlers are
// set before the server starts and not changed while it runs.
#include "auth/jwt_server_options.h"
#include "auth/jwt_signers.h"
#include "auth/server_auth_token.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace zor {

using TzorOnJWTBeforeRequest = std::function<void(TzorComponent_Base* Sender, TzorWSConnection* aConnection,
                                                  const std::vector<std::string>& aHeaders, bool& Cancel)>;
using TzorOnJWTBeforeValidateToken =
    std::function<void(TzorComponent_Base* Sender, TzorWSConnection* aConnection, const std::string& aToken, bool& Cancel)>;
using TzorOnJWTBeforeValidateSignature =
    std::function<void(TzorComponent_Base* Sender, TzorWSConnection* aConnection, const std::string& aHeader,
                       const std::string& aPayload, std::string& Secret)>;
using TzorOnJWTAfterValidateToken =
    std::function<void(TzorComponent_Base* Sender, TzorWSConnection* aConnection, const std::string& aToken,
                       const std::string& aHeader, const std::string& aPayload, const std::string& aError, bool& Valid)>;
using TzorOnJWTException =
    std::function<void(TzorComponent_Base* Sender, TzorWSConnection* aConnection, const std::exception& E)>;
using TzorOnJWTUnauthorized =
    std::function<void(TzorComponent_Base* Sender, TzorWSConnection* aConnection, bool& Disconnect)>;

// Server-side check of the bearer JSON Web Tokens of requests.
class TzorHTTPComponentServer_JWT : public TzorHTTPComponentServerAuthToken_Base {
 public:
  using TzorHTTPComponentServerAuthToken_Base::TzorHTTPComponentServerAuthToken_Base;

  TzorHTTP_JWT_Server_Options& JWTOptions() { return FJWTOptions; }
  const TzorHTTP_JWT_Server_Options& JWTOptions() const { return FJWTOptions; }
  void SetJWTOptions(const TzorHTTP_JWT_Server_Options& aValue) { FJWTOptions.Assign(aValue); }

  // The header lines of one request: true when a bearer token in them is
  // valid, or when OnJWTBeforeRequest lets the request through unchecked.
  bool IsJWTTokenValid(TzorWSConnection* aConnection, const std::vector<std::string>& aHeaders);
  // One token: signature and time claims. Never raises; a check that ends in
  // an error (reported through OnJWTException) answers false.
  bool IsJWTTokenValid(TzorWSConnection* aConnection, const std::string& aToken);
  // Whether a connection without a valid token is refused (true unless
  // OnJWTUnauthorized says otherwise).
  bool IsJWTUnauthorized(TzorWSConnection* aConnection);
  // The signature alone, for the application: returns the decoded header and
  // payload; errors (malformed token, unknown algorithm, key problems) are
  // raised to the caller.
  bool Validate(const std::string& aJWT, std::string& aHeader, std::string& aPayload, std::string& aError);

  TzorOnJWTBeforeRequest OnJWTBeforeRequest;
  TzorOnJWTBeforeValidateToken OnJWTBeforeValidateToken;
  TzorOnJWTBeforeValidateSignature OnJWTBeforeValidateSignature;
  TzorOnJWTAfterValidateToken OnJWTAfterValidateToken;
  TzorOnJWTException OnJWTException;
  TzorOnJWTUnauthorized OnJWTUnauthorized;

 protected:
  // Seconds since 1970 UTC, whole; the time claims are compared with it.
  virtual int64_t NowUnixSeconds() const;

 private:
  bool CheckSignature(TzorWSConnection* aConnection, const std::string& aToken, std::string& aHeader,
                      std::string& aPayload, std::string& aError);
  bool CheckClaims(const std::string& aPayload, std::string& aError) const;

  // The verifiers keep no state; made with the component so that concurrent
  // checks never race to create them.
  const TzorHTTP_JWT_HMAC FJWTHMAC{};
  const TzorHTTP_JWT_RSA FJWTRSA{};
  const TzorHTTP_JWT_ES FJWTES{};
  TzorHTTP_JWT_Server_Options FJWTOptions;
};

}  // namespace zor
