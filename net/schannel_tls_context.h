#pragma once
// The platform TLS provider as a buffer-based TLS context: its engines run
// the platform engine over a socket stand-in made of the incoming and
// outgoing buffers, so blocking connections and the event-driven server can
// use it like the OpenSSL engine (client side only).
#include <memory>

#include "net/schannel_engine.h"
#include "net/tls_engine.h"

namespace zor {

// Handshake failures raise SChannelError ("SChannel initialization error: "
// and the engine's text).
std::shared_ptr<const TzorTLSContext> NewSChannelContext(const TzorSChannelSettings& settings);

}  // namespace zor
