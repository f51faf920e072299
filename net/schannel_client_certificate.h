#pragma once
// How the platform engine answers a server's request for a client
// certificate: by thumbprint from a store, from a PKCS#12 file, or from the
// current user's "MY" store by the issuers the server names.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/cert_store.h"

namespace zor {

// The answer to a server's request for a client certificate.
struct TzorClientCertificateChoice {
  std::shared_ptr<const TzorCertContext> Certificate;  // none: the handshake goes on without one
  std::string Failure;                                 // set when the handshake must end
};

// `issuers` (the server's list, DER names) is asked for only when neither a
// thumbprint nor a file is set.
TzorClientCertificateChoice ChooseClientCertificate(const TzorSChannelCertificate& settings,
                                                    const std::function<std::vector<std::string>()>& issuers);

}  // namespace zor
