// Credentials: the trust store, the client certificate, and the protocol
// versions and algorithms turned into a GnuTLS priority string.
#include <gnutls/abstract.h>

#include "net/cert_context_impl.h"
#include "net/schannel_algorithms.h"
#include "net/sspi_impl.h"

namespace zor::sspi {

namespace {

std::string Versions(uint32_t bits) {
  if (bits == 0) bits = SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
  std::string p = ":-VERS-ALL";
  if (bits & SP_PROT_TLS1_3_CLIENT) p += ":+VERS-TLS1.3";
  if (bits & SP_PROT_TLS1_2_CLIENT) p += ":+VERS-TLS1.2";
  if (bits & SP_PROT_TLS1_1_CLIENT) p += ":+VERS-TLS1.1";
  if (bits & SP_PROT_TLS1_0_CLIENT) p += ":+VERS-TLS1.0";
  return p;
}

// Identifiers without a GnuTLS meaning are left out; a group (ciphers, MACs,
// key exchanges) none of whose members is named keeps its defaults.
std::string Algorithms(const std::vector<uint32_t>& ids) {
  std::string ciphers, macs, kx;
  for (const uint32_t id : ids) {
    switch (id) {
      case CALG_AES: ciphers += ":+AES-128-GCM:+AES-256-GCM:+AES-128-CBC:+AES-256-CBC"; break;
      case CALG_AES_128: ciphers += ":+AES-128-GCM:+AES-128-CBC"; break;
      case CALG_AES_256: ciphers += ":+AES-256-GCM:+AES-256-CBC"; break;
      case CALG_3DES: ciphers += ":+3DES-CBC"; break;
      case CALG_RC4: ciphers += ":+ARCFOUR-128"; break;
      case CALG_SHA1: macs += ":+SHA1"; break;
      case CALG_SHA_256: macs += ":+SHA256:+AEAD"; break;
      case CALG_SHA_384: macs += ":+SHA384:+AEAD"; break;
      case CALG_MD5: macs += ":+MD5"; break;
      case CALG_RSA_KEYX: kx += ":+RSA"; break;
      case CALG_DH_EPHEM: kx += ":+DHE-RSA:+DHE-DSS"; break;
      case CALG_ECDH:
      case CALG_ECDH_EPHEM: kx += ":+ECDHE-RSA:+ECDHE-ECDSA"; break;
      default: break;
    }
  }
  std::string p;
  if (!ciphers.empty()) p += ":-CIPHER-ALL" + ciphers;
  if (!macs.empty()) p += ":-MAC-ALL" + macs;
  if (!kx.empty()) p += ":-KX-ALL" + kx;
  return p;
}

// Hands the session the credentials' certificate, or asks for new
// credentials when they hold none.
int RetrieveCertificate(gnutls_session_t session, const gnutls_datum_t* issuers, int issuer_count,
                        const gnutls_pk_algorithm_t*, int, gnutls_pcert_st** pcert, unsigned* pcert_length,
                        gnutls_privkey_t* key) {
  auto* context = static_cast<Context::Impl*>(gnutls_session_get_ptr(session));
  *pcert = nullptr;
  *pcert_length = 0;
  *key = nullptr;
  context->issuers.clear();
  for (int i = 0; i < issuer_count; ++i)
    context->issuers.emplace_back(reinterpret_cast<const char*>(issuers[i].data), issuers[i].size);
  if (!context->credentials->Details().certificate && context->on_incomplete_credentials) {
    std::shared_ptr<Credentials> replacement;
    context->credentials_failure = context->on_incomplete_credentials(replacement);
    if (context->credentials_failure != SEC_E_OK) return -1;
    if (replacement) {
      // The session keeps using the credentials it started with; only the
      // certificate is taken from the new ones.
      context->credentials->Details().certificate = replacement->Details().certificate;
    }
  }
  const auto& certificate = context->credentials->Details().certificate;
  if (!certificate || !certificate->HasKey()) return 0;
  auto& details = const_cast<TzorCertContext::Impl&>(certificate->Details());
  *pcert = details.pcerts.data();
  *pcert_length = static_cast<unsigned>(details.pcerts.size());
  *key = details.key;
  return 0;
}

}  // namespace

Credentials::Credentials(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Credentials::~Credentials() = default;

uint32_t AcquireCredentialsHandle(const SchannelCred& cred, std::shared_ptr<Credentials>& out) {
  auto impl = std::make_unique<Credentials::Impl>();
  if (gnutls_certificate_allocate_credentials(&impl->certificate_credentials) < 0) return SEC_E_INTERNAL_ERROR;
  auto* gc = impl->certificate_credentials;
  // Trust is consulted when the server's certificate is checked, not here.
  impl->trusted_roots = cred.TrustedRoots;
  impl->trust_file = cred.TrustFile;
  gnutls_certificate_set_retrieve_function2(gc, RetrieveCertificate);
  impl->certificate = cred.Certificate;
  impl->priority = "NORMAL" + Versions(cred.EnabledProtocols) + Algorithms(cred.SupportedAlgs);
  if (cred.EnabledProtocols & (SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT))
    impl->priority += ":%VERIFY_ALLOW_SIGN_WITH_SHA1";
  const char* error_at = nullptr;
  gnutls_priority_t check;
  if (gnutls_priority_init(&check, impl->priority.c_str(), &error_at) < 0) return SEC_E_ALGORITHM_MISMATCH;
  gnutls_priority_deinit(check);
  out = std::make_shared<Credentials>(std::move(impl));
  return SEC_E_OK;
}

}  // namespace zor::sspi
