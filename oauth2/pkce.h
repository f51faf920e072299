#pragma once
// Proof Key for Code Exchange (RFC 7636), S256 method only: the client keeps
// a random verifier and sends its digest with the authorization request.
#include <string>
#include <string_view>

namespace zor {

// 43 to 128 characters of letters, digits and "-._~" (RFC 7636 4.1).
bool IsPKCEVerifier(std::string_view aVerifier);
// BASE64URL(SHA256(verifier)), unpadded: 43 characters.
std::string PKCEChallengeS256(std::string_view aVerifier);
// A new verifier of 43 characters from 32 bytes of the CSPRNG.
std::string NewPKCEVerifier();

}  // namespace zor
