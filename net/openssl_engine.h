#pragma once
// The OpenSSL TLS engine: ciphertext queues in and out, client or server side.
#include <memory>

#include "net/tls_engine.h"

namespace zor {

// Raises EzorTLSError when the settings cannot be applied (unreadable
// certificate, key or trust file, wrong key password, bad cipher list).
std::shared_ptr<const TzorTLSContext> NewOpenSSLContext(const TzorTLSSettings& settings);

}  // namespace zor
