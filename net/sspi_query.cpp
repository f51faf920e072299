// Attribute queries of an established context and the check of the
// server's certificate.
#include <gnutls/crypto.h>
#include <gnutls/x509.h>

#include <mutex>

#include "net/schannel_algorithms.h"
#include "net/sspi_impl.h"

namespace zor::sspi {

namespace {

uint32_t ProtocolBit(gnutls_protocol_t version) {
  switch (version) {
    case GNUTLS_TLS1_0: return SP_PROT_TLS1_0_CLIENT;
    case GNUTLS_TLS1_1: return SP_PROT_TLS1_1_CLIENT;
    case GNUTLS_TLS1_2: return SP_PROT_TLS1_2_CLIENT;
    case GNUTLS_TLS1_3: return SP_PROT_TLS1_3_CLIENT;
    default: return 0;
  }
}

uint32_t CipherId(gnutls_cipher_algorithm_t cipher) {
  switch (cipher) {
    case GNUTLS_CIPHER_AES_128_GCM:
    case GNUTLS_CIPHER_AES_128_CBC:
    case GNUTLS_CIPHER_AES_128_CCM:
    case GNUTLS_CIPHER_AES_128_CCM_8: return CALG_AES_128;
    case GNUTLS_CIPHER_AES_256_GCM:
    case GNUTLS_CIPHER_AES_256_CBC:
    case GNUTLS_CIPHER_AES_256_CCM:
    case GNUTLS_CIPHER_AES_256_CCM_8: return CALG_AES_256;
    case GNUTLS_CIPHER_3DES_CBC: return CALG_3DES;
    case GNUTLS_CIPHER_ARCFOUR_128: return CALG_RC4;
    default: return 0;
  }
}

uint32_t HashId(gnutls_digest_algorithm_t digest) {
  switch (digest) {
    case GNUTLS_DIG_SHA1: return CALG_SHA1;
    case GNUTLS_DIG_SHA256: return CALG_SHA_256;
    case GNUTLS_DIG_SHA384: return CALG_SHA_384;
    case GNUTLS_DIG_SHA512: return CALG_SHA_512;
    case GNUTLS_DIG_MD5: return CALG_MD5;
    default: return 0;
  }
}

// Key exchange and its strength in bits, from the group agreed on.
void Exchange(gnutls_session_t s, ConnectionInfo& info) {
  const gnutls_kx_algorithm_t kx = gnutls_kx_get(s);
  const gnutls_group_t group = gnutls_group_get(s);
  switch (group) {
    case GNUTLS_GROUP_SECP192R1: info.dwExchStrength = 192; break;
    case GNUTLS_GROUP_SECP224R1: info.dwExchStrength = 224; break;
    case GNUTLS_GROUP_SECP256R1: info.dwExchStrength = 256; break;
    case GNUTLS_GROUP_SECP384R1: info.dwExchStrength = 384; break;
    case GNUTLS_GROUP_SECP521R1: info.dwExchStrength = 521; break;
    case GNUTLS_GROUP_X25519: info.dwExchStrength = 255; break;
    case GNUTLS_GROUP_X448: info.dwExchStrength = 448; break;
    case GNUTLS_GROUP_FFDHE2048: info.dwExchStrength = 2048; break;
    case GNUTLS_GROUP_FFDHE3072: info.dwExchStrength = 3072; break;
    case GNUTLS_GROUP_FFDHE4096: info.dwExchStrength = 4096; break;
    case GNUTLS_GROUP_FFDHE6144: info.dwExchStrength = 6144; break;
    case GNUTLS_GROUP_FFDHE8192: info.dwExchStrength = 8192; break;
    default: break;
  }
  if (kx == GNUTLS_KX_RSA) info.aiExch = CALG_RSA_KEYX;
  else if (group >= GNUTLS_GROUP_FFDHE2048 && group <= GNUTLS_GROUP_FFDHE8192) info.aiExch = CALG_DH_EPHEM;
  else if (kx == GNUTLS_KX_DHE_RSA || kx == GNUTLS_KX_DHE_DSS) info.aiExch = CALG_DH_EPHEM;
  else if (group != GNUTLS_GROUP_INVALID || kx == GNUTLS_KX_ECDHE_RSA || kx == GNUTLS_KX_ECDHE_ECDSA)
    info.aiExch = CALG_ECDH_EPHEM;
}

// What a verification status says, as the chain policy would.
uint32_t PolicyStatus(unsigned status) {
  if (status == 0) return 0;
  if (status & GNUTLS_CERT_UNEXPECTED_OWNER) return CERT_E_CN_NO_MATCH;
  if (status & (GNUTLS_CERT_EXPIRED | GNUTLS_CERT_NOT_ACTIVATED)) return CERT_E_EXPIRED;
  if (status & GNUTLS_CERT_REVOKED) return CERT_E_REVOKED;
  if (status & GNUTLS_CERT_SIGNATURE_FAILURE) return TRUST_E_CERT_SIGNATURE;
  if (status & GNUTLS_CERT_PURPOSE_MISMATCH) return CERT_E_WRONG_USAGE;
  if (status & (GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA)) return CERT_E_UNTRUSTEDROOT;
  return CERT_E_CHAINING;
}

// The system's trusted roots, read once for the process.
std::mutex system_trust_lock;
gnutls_x509_trust_list_t SystemTrust() {
  static gnutls_x509_trust_list_t list = [] {
    gnutls_x509_trust_list_t l = nullptr;
    if (gnutls_x509_trust_list_init(&l, 0) >= 0) gnutls_x509_trust_list_add_system_trust(l, 0, 0);
    return l;
  }();
  return list;
}

// The server's certificates as sent, the server's own first.
struct PeerChain {
  PeerChain(const gnutls_datum_t* peers, unsigned count) {
    for (unsigned i = 0; i < count && ok; ++i) {
      gnutls_x509_crt_t crt;
      ok = gnutls_x509_crt_init(&crt) >= 0;
      if (!ok) break;
      crts.push_back(crt);
      ok = gnutls_x509_crt_import(crt, &peers[i], GNUTLS_X509_FMT_DER) >= 0;
    }
  }
  ~PeerChain() {
    for (auto* crt : crts) gnutls_x509_crt_deinit(crt);
  }
  std::vector<gnutls_x509_crt_t> crts;
  bool ok = true;
};

}  // namespace

uint32_t QueryConnectionInfo(const Context& context, ConnectionInfo& info) {
  const Context::Impl& c = context.Details();
  if (!c.established) return SEC_E_INVALID_HANDLE;
  gnutls_session_t s = c.session;
  info = {};
  info.dwProtocol = ProtocolBit(gnutls_protocol_get_version(s));
  const gnutls_cipher_algorithm_t cipher = gnutls_cipher_get(s);
  info.aiCipher = CipherId(cipher);
  info.dwCipherStrength = static_cast<uint32_t>(gnutls_cipher_get_key_size(cipher) * 8);
  const gnutls_mac_algorithm_t mac = gnutls_mac_get(s);
  const gnutls_digest_algorithm_t digest =
      mac == GNUTLS_MAC_AEAD ? gnutls_prf_hash_get(s) : static_cast<gnutls_digest_algorithm_t>(mac);
  info.aiHash = HashId(digest);
  info.dwHashStrength = static_cast<uint32_t>(gnutls_hash_get_len(digest) * 8);
  Exchange(s, info);
  if (const char* suite = gnutls_ciphersuite_get(s)) info.CipherSuite = suite;
  return SEC_E_OK;
}

uint32_t QueryApplicationProtocol(const Context& context, std::string& protocol) {
  const Context::Impl& c = context.Details();
  if (!c.established) return SEC_E_INVALID_HANDLE;
  protocol.clear();
  gnutls_datum_t selected{};
  if (gnutls_alpn_get_selected_protocol(c.session, &selected) == 0)
    protocol.assign(reinterpret_cast<const char*>(selected.data), selected.size);
  return SEC_E_OK;
}

uint32_t QueryIssuerList(const Context& context, std::vector<std::string>& issuers) {
  issuers = context.Details().issuers;
  return SEC_E_OK;
}

uint32_t QueryRemoteCertificateSubject(const Context& context, std::string& subject) {
  const Context::Impl& c = context.Details();
  subject.clear();
  unsigned count = 0;
  const gnutls_datum_t* peers = gnutls_certificate_get_peers(c.session, &count);
  if (!peers || count == 0) return SEC_E_OK;
  gnutls_x509_crt_t crt;
  if (gnutls_x509_crt_init(&crt) < 0) return SEC_E_INTERNAL_ERROR;
  gnutls_datum_t dn{};
  if (gnutls_x509_crt_import(crt, &peers[0], GNUTLS_X509_FMT_DER) >= 0 && gnutls_x509_crt_get_dn3(crt, &dn, 0) >= 0) {
    subject.assign(reinterpret_cast<const char*>(dn.data), dn.size);
    gnutls_free(dn.data);
  }
  gnutls_x509_crt_deinit(crt);
  return SEC_E_OK;
}

uint32_t VerifyServerCertificate(const Context& context, const std::string& server_name, uint32_t& policy_status) {
  const Context::Impl& c = context.Details();
  unsigned count = 0;
  const gnutls_datum_t* peers = gnutls_certificate_get_peers(c.session, &count);
  if (!peers || count == 0) return SEC_E_CERT_UNKNOWN;
  PeerChain chain(peers, count);
  if (!chain.ok) return SEC_E_CERT_UNKNOWN;
  // The server's purpose and its name (a host name or an address).
  gnutls_typed_vdata_st checks[2] = {};
  checks[0].type = GNUTLS_DT_KEY_PURPOSE_OID;
  checks[0].data = reinterpret_cast<unsigned char*>(const_cast<char*>(GNUTLS_KP_TLS_WWW_SERVER));
  unsigned n = 1;
  if (!server_name.empty()) {
    checks[1].type = GNUTLS_DT_DNS_HOSTNAME;
    checks[1].data = reinterpret_cast<unsigned char*>(const_cast<char*>(server_name.c_str()));
    n = 2;
  }
  unsigned status = 0;
  {
    std::lock_guard guard(system_trust_lock);
    if (gnutls_x509_trust_list_verify_crt2(SystemTrust(), chain.crts.data(), count, checks, n, 0, &status, nullptr) < 0)
      return SEC_E_INTERNAL_ERROR;
  }
  const Credentials::Impl& cred = c.credentials->Details();
  if ((status & GNUTLS_CERT_SIGNER_NOT_FOUND) && (!cred.trusted_roots.empty() || !cred.trust_file.empty())) {
    // Not from a root the system trusts: perhaps from one of our own.
    gnutls_x509_trust_list_t own;
    if (gnutls_x509_trust_list_init(&own, 0) < 0) return SEC_E_INTERNAL_ERROR;
    for (const auto& root : cred.trusted_roots) {
      gnutls_datum_t der{reinterpret_cast<unsigned char*>(const_cast<char*>(root->DER().data())),
                         static_cast<unsigned>(root->DER().size())};
      gnutls_x509_trust_list_add_trust_mem(own, &der, nullptr, GNUTLS_X509_FMT_DER, 0, 0);
    }
    if (!cred.trust_file.empty())
      gnutls_x509_trust_list_add_trust_file(own, cred.trust_file.c_str(), nullptr, GNUTLS_X509_FMT_PEM, 0, 0);
    const int r = gnutls_x509_trust_list_verify_crt2(own, chain.crts.data(), count, checks, n, 0, &status, nullptr);
    gnutls_x509_trust_list_deinit(own, 1);
    if (r < 0) return SEC_E_INTERNAL_ERROR;
  }
  policy_status = PolicyStatus(status);
  return SEC_E_OK;
}

}  // namespace zor::sspi
