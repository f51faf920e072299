#pragma once
// OpenSSL pieces the signers share: keys read from PEM text, fetched digests,
// one-shot sign and verify. Included only by the signers' sources.
#include "base/bytes.h"

#include <openssl/types.h>

#include <memory>
#include <string>
#include <string_view>

namespace zor::jwt_openssl {

using KeyPtr = std::shared_ptr<EVP_PKEY>;

// Keys from PEM text: PKCS#8 ("PRIVATE KEY"), the type-specific forms ("RSA
// PRIVATE KEY", "EC PRIVATE KEY") and for public keys "PUBLIC KEY" and "RSA
// PUBLIC KEY". Nothing (null) when the text holds no such key. Encrypted keys
// are refused: there is no password to give and no terminal to ask on.
// Parsed keys are kept by their text for the next call (keys are immutable
// and safe to share between threads).
KeyPtr LoadPrivateKey(std::string_view pem);
KeyPtr LoadPublicKey(std::string_view pem);

bool IsRSAKey(EVP_PKEY* key);
// The SHA-2 size of the curve an EC key is on (P-256 -> 256, P-384 -> 384,
// P-521 -> 512); 0 for other keys and curves.
int ECKeyDigestBits(EVP_PKEY* key);

// SHA-256/384/512, fetched once; null for other sizes.
const EVP_MD* Digest(int bits);

// Clears OpenSSL's error queue of this thread and raises the message.
[[noreturn]] void Fail(const char* message);

// Sign or verify `data` with the key and digest. DigestSign raises
// "Unable to init context", "Unable to update context with payload" or
// `final_error`.
TBytes DigestSign(EVP_PKEY* key, const EVP_MD* md, const uint8_t* data, size_t size,
                  const char* final_error);
bool DigestVerify(EVP_PKEY* key, const EVP_MD* md, const uint8_t* data, size_t size,
                  const uint8_t* signature, size_t signature_size);

}  // namespace zor::jwt_openssl
