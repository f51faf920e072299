#pragma once
// How TLS options become the platform provider's settings and context
// (IOHandler = iohSChannel).
#include <functional>
#include <memory>
#include <string>

#include "http/tls_options.h"
#include "net/schannel_engine.h"

namespace zor {

// Version, verification, the SChannel options, CertFile with Password as
// its password, and RootCertFile as further trusted roots. ALPN protocols
// are not taken over.
TzorSChannelSettings SChannelSettings(const TzorSocketTLS_Options& options);

// The platform provider's context factory (the default of SetPlatformTLSProvider),
// offering `alpn`.
std::shared_ptr<const TzorTLSContext> NewSChannelClientContext(const TzorSocketTLS_Options& options,
                                                               const std::function<std::string()>& on_get_password,
                                                               const std::vector<std::string>& alpn);

}  // namespace zor
