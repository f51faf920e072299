#pragma once
// The GnuTLS side of a TzorCertContext; included only by the .cpp files of
// the platform TLS provider.
#include <gnutls/abstract.h>
#include <gnutls/x509.h>

#include <string>
#include <vector>

#include "net/cert_store.h"

namespace zor {

struct TzorCertContext::Impl {
  Impl() = default;
  ~Impl() {
    for (auto& p : pcerts) gnutls_pcert_deinit(&p);
    for (auto* c : chain) gnutls_x509_crt_deinit(c);
    if (key) gnutls_privkey_deinit(key);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  std::vector<gnutls_x509_crt_t> chain;  // the certificate first
  std::vector<gnutls_pcert_st> pcerts;   // the same, as sent in a handshake
  gnutls_privkey_t key = nullptr;
  std::string sha1;
  std::string der;
};

}  // namespace zor
