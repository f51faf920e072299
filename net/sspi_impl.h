#pragma once
// The GnuTLS side of the security-provider interface; included only by its
// .cpp files.
#include <gnutls/gnutls.h>

#include <string>
#include <string_view>
#include <vector>

#include "net/sspi.h"

namespace zor::sspi {

struct Credentials::Impl {
  ~Impl() {
    if (certificate_credentials) gnutls_certificate_free_credentials(certificate_credentials);
  }
  gnutls_certificate_credentials_t certificate_credentials = nullptr;
  std::string priority;
  std::shared_ptr<const TzorCertContext> certificate;
  TzorCertList trusted_roots;
  std::string trust_file;
};

struct Context::Impl {
  ~Impl() {
    if (session) gnutls_deinit(session);
  }
  gnutls_session_t session = nullptr;
  std::shared_ptr<Credentials> credentials;  // kept while the session may use them
  std::string target;
  bool established = false;
  bool renegotiating = false;
  // What the session sends collects here until a call hands it out.
  std::string outgoing;
  // The one record the session may read in this call.
  std::string_view incoming;
  size_t taken = 0;
  // The server's certificate request.
  std::vector<std::string> issuers;
  IncompleteCredentialsHandler on_incomplete_credentials;
  uint32_t credentials_failure = SEC_E_OK;
};

// Length of the first whole TLS record of `bytes`, 0 when it is not all there.
// A header announcing more than a record may hold counts alone, so that the
// session refuses it at once instead of waiting for bytes that never fit.
size_t FirstRecordLength(std::string_view bytes);

// The session's failure as a status code.
uint32_t StatusOf(int gnutls_error);

}  // namespace zor::sspi
