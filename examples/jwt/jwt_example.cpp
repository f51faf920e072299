// Signs a JSON Web Token with a shared secret (HS256), checks it the way a
// server does, and shows that a token changed on the way fails the check.
#include <zor/auth/jwt_client.h>
#include <zor/auth/jwt_server.h>

#include <exception>
#include <iostream>

int main() {
  const std::string secret = "a secret both sides know";

  zor::TzorHTTPComponentClient_JWT signer;
  signer.JWTOptions().Header().Setalg(zor::jwtHS256);
  signer.JWTOptions().Algorithms().HS().SetSecret(secret);
  signer.JWTOptions().Payload().Setsub("newcomer");
  signer.JWTOptions().Payload().AddKeyValue("scope", "read");
  // "iat" now and "exp" five minutes later.
  signer.JWTOptions().SetRefreshTokenAfter(300);

  zor::TzorHTTPComponentServer_JWT verifier;
  verifier.JWTOptions().Algorithms().HS().SetSecret(secret);
  verifier.OnJWTException = [](zor::TzorComponent_Base*, zor::TzorWSConnection*, const std::exception& e) {
    std::cout << "check failed: " << e.what() << "\n";
  };

  try {
    const std::string token = signer.Sign();
    std::cout << "token: " << token << "\n";
    std::string header, payload, error;
    verifier.Validate(token, header, payload, error);
    std::cout << "header: " << header << "\npayload: " << payload << "\n";
    std::cout << "valid: " << (verifier.IsJWTTokenValid(nullptr, token) ? "yes" : "no") << "\n";

    std::string tampered = token;
    tampered[token.find('.') + 1] ^= 1;  // one bit of the payload
    std::cout << "tampered valid: " << (verifier.IsJWTTokenValid(nullptr, tampered) ? "yes" : "no") << "\n";
  } catch (const std::exception& e) {
    std::cerr << "jwt_example: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
