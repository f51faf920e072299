#include "net/openssl_engine.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/format.h"
#include "net/net_errors.h"
#include "net/openssl_queue_bio.h"

namespace zor {

namespace {

// Every error OpenSSL queued on this thread, oldest first, and clears them.
std::string TakeErrors() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text;
}

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;

[[noreturn]] void Fail(const std::string& what) {
  const std::string errors = TakeErrors();
  throw EzorTLSError(errors.empty() ? what : what + ": " + errors);
}

int VersionCode(TwsTLSVersions version) {
  switch (version) {
    case tls1_0: return TLS1_VERSION;
    case tls1_1: return TLS1_1_VERSION;
    case tls1_2: return TLS1_2_VERSION;
    case tls1_3: return TLS1_3_VERSION;
    default: return 0;
  }
}

std::string NameLine(const X509_NAME* name) {
  char line[512];
  X509_NAME_oneline(name, line, sizeof line);
  return line;
}

bool IsAddressLiteral(const std::string& host) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// ALPN names in wire form: each name prefixed by its length; empty names and
// names over 255 bytes cannot be expressed and are left out.
std::string ALPNWire(const std::vector<std::string>& names) {
  std::string wire;
  for (const auto& name : names) {
    if (name.empty() || name.size() > 255) continue;
    wire += static_cast<char>(name.size());
    wire += name;
  }
  return wire;
}

class OpenSSLContext : public TzorTLSContext {
 public:
  explicit OpenSSLContext(const TzorTLSSettings& settings) : settings_(settings) {
    ctx_ = SSL_CTX_new(TLS_method());
    if (!ctx_) Fail("Cannot create a TLS context");
    try {
      Configure();
    } catch (...) {
      SSL_CTX_free(ctx_);
      throw;
    }
  }
  ~OpenSSLContext() override { SSL_CTX_free(ctx_); }

  const TzorTLSSettings& Settings() const override { return settings_; }
  std::unique_ptr<TzorTLSEngine> NewEngine(const std::string& host) const override;

 private:
  void Configure() {
    ERR_clear_error();
    const bool server = settings_.Side == TzorTLSSide::tlsServer;
    const int version = VersionCode(settings_.Version);
    SSL_CTX_set_min_proto_version(ctx_, version ? version : TLS1_VERSION);
    SSL_CTX_set_max_proto_version(ctx_, version ? version : TLS1_3_VERSION);
    if (settings_.Version == tls1_0 || settings_.Version == tls1_1) {
      // The default security level refuses these versions outright; asking
      // for one explicitly is taken as accepting its weaker algorithms.
      SSL_CTX_set_security_level(ctx_, 0);
      if (settings_.CipherList.empty()) SSL_CTX_set_cipher_list(ctx_, "DEFAULT:@SECLEVEL=0");
    }
    if (!settings_.CipherList.empty() && SSL_CTX_set_cipher_list(ctx_, settings_.CipherList.c_str()) != 1)
      Fail(Format("Invalid cipher list \"%s\"", settings_.CipherList.c_str()));

    SSL_CTX_set_default_passwd_cb(ctx_, &OpenSSLContext::PasswordCallback);
    SSL_CTX_set_default_passwd_cb_userdata(ctx_, this);
    if (!settings_.CertPEM.empty()) {
      UseCertificateText();
    } else if (!settings_.CertFile.empty()) {
      if (SSL_CTX_use_certificate_chain_file(ctx_, settings_.CertFile.c_str()) != 1)
        Fail(Format("Cannot load certificate file \"%s\"", settings_.CertFile.c_str()));
      const std::string& key = settings_.KeyFile.empty() ? settings_.CertFile : settings_.KeyFile;
      if (SSL_CTX_use_PrivateKey_file(ctx_, key.c_str(), SSL_FILETYPE_PEM) != 1)
        Fail(Format("Cannot load key file \"%s\"", key.c_str()));
    } else if (server) {
      throw EzorTLSError("A TLS server needs a certificate file");
    }
    if ((!settings_.CertPEM.empty() || !settings_.CertFile.empty()) && SSL_CTX_check_private_key(ctx_) != 1)
      Fail("The key does not match the certificate");

    if (settings_.VerifyCertificate || server) LoadTrust();
    if (settings_.VerifyCertificate) {
      int mode = SSL_VERIFY_PEER;
      if (server && settings_.FailIfNoCertificate) mode |= SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
      if (server && settings_.VerifyClientOnce) mode |= SSL_VERIFY_CLIENT_ONCE;
      SSL_CTX_set_app_data(ctx_, this);
      SSL_CTX_set_verify(ctx_, mode, settings_.OnVerifyPeer ? &OpenSSLContext::VerifyPeer : nullptr);
      if (settings_.VerifyDepth >= 0) SSL_CTX_set_verify_depth(ctx_, settings_.VerifyDepth);
    } else {
      SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    }

    if (server) {
      SSL_CTX_set_alpn_select_cb(ctx_, &OpenSSLContext::SelectALPN, this);
    } else {
      const std::string wire = ALPNWire(settings_.ALPNProtocols);
      if (!wire.empty() &&
          SSL_CTX_set_alpn_protos(ctx_, reinterpret_cast<const unsigned char*>(wire.data()),
                                  static_cast<unsigned>(wire.size())) != 0)
        Fail("Cannot set the ALPN protocols");
    }
  }

  void UseCertificateText() {
    BioPtr certs(BIO_new_mem_buf(settings_.CertPEM.data(), static_cast<int>(settings_.CertPEM.size())));
    X509* leaf = certs ? PEM_read_bio_X509(certs.get(), nullptr, nullptr, nullptr) : nullptr;
    if (!leaf || SSL_CTX_use_certificate(ctx_, leaf) != 1) {
      X509_free(leaf);
      Fail("Cannot load the certificate text");
    }
    X509_free(leaf);
    while (X509* issuer = PEM_read_bio_X509(certs.get(), nullptr, nullptr, nullptr)) {
      if (SSL_CTX_add0_chain_cert(ctx_, issuer) != 1) {
        X509_free(issuer);
        Fail("Cannot load the certificate chain text");
      }
    }
    ERR_clear_error();  // the end of the text ends the loop above with an error
    const std::string& text = settings_.KeyPEM.empty() ? settings_.CertPEM : settings_.KeyPEM;
    BioPtr key_bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    EVP_PKEY* key = key_bio ? PEM_read_bio_PrivateKey(key_bio.get(), nullptr, &OpenSSLContext::PasswordCallback, this)
                            : nullptr;
    const bool used = key && SSL_CTX_use_PrivateKey(ctx_, key) == 1;
    EVP_PKEY_free(key);
    if (!used) Fail("Cannot load the key text");
  }

  void LoadTrust() {
    if (settings_.RootCertFile.empty()) {
      if (settings_.VerifyCertificate && SSL_CTX_set_default_verify_paths(ctx_) != 1)
        Fail("Cannot load the system's trusted certificates");
      return;
    }
    if (SSL_CTX_load_verify_locations(ctx_, settings_.RootCertFile.c_str(), nullptr) != 1)
      Fail(Format("Cannot load root certificate file \"%s\"", settings_.RootCertFile.c_str()));
    if (settings_.Side == TzorTLSSide::tlsServer) {
      // Tells clients which issuers their certificate should come from.
      if (STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(settings_.RootCertFile.c_str()))
        SSL_CTX_set_client_CA_list(ctx_, names);
    }
  }

  static int PasswordCallback(char* buffer, int size, int, void* user) {
    const auto* self = static_cast<const OpenSSLContext*>(user);
    if (!self->settings_.OnGetPassword) return 0;
    const std::string password = self->settings_.OnGetPassword();
    const int n = std::min<int>(size, static_cast<int>(password.size()));
    std::memcpy(buffer, password.data(), static_cast<size_t>(n));
    return n;
  }

  static int VerifyPeer(int ok, X509_STORE_CTX* store) {
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    const auto* self = static_cast<const OpenSSLContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    X509* certificate = X509_STORE_CTX_get_current_cert(store);
    TzorTLSCertificateInfo info;
    if (certificate) {
      info.Subject = NameLine(X509_get_subject_name(certificate));
      info.Issuer = NameLine(X509_get_issuer_name(certificate));
      BioPtr bio(BIO_new(BIO_s_mem()));
      if (bio && PEM_write_bio_X509(bio.get(), certificate) == 1) {
        char* data = nullptr;
        const long size = BIO_get_mem_data(bio.get(), &data);
        info.PEM.assign(data, static_cast<size_t>(size));
      }
    }
    const int error = X509_STORE_CTX_get_error(store);
    // An exception must not unwind through the TLS library: it refuses.
    bool accept = false;
    try {
      accept = self->settings_.OnVerifyPeer(info, ok == 1, X509_STORE_CTX_get_error_depth(store), error);
    } catch (...) {
    }
    if (accept && ok != 1) X509_STORE_CTX_set_error(store, X509_V_OK);
    if (!accept && ok == 1) X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
    return accept ? 1 : 0;
  }

  static int SelectALPN(SSL*, const unsigned char** out, unsigned char* out_length, const unsigned char* in,
                        unsigned in_length, void* user) {
    const auto* self = static_cast<const OpenSSLContext*>(user);
    std::vector<std::string> offered;
    std::vector<const unsigned char*> positions;
    for (unsigned i = 0; i < in_length;) {
      const unsigned length = in[i];
      if (length == 0 || i + 1 + length > in_length) return SSL_TLSEXT_ERR_ALERT_FATAL;
      positions.push_back(in + i + 1);
      offered.emplace_back(reinterpret_cast<const char*>(in + i + 1), length);
      i += 1 + length;
    }
    std::string chosen;
    bool found = false;
    if (self->settings_.ALPNSelector) {
      found = self->settings_.ALPNSelector(offered, chosen);
    } else {
      for (const auto& name : self->settings_.ALPNProtocols) {
        if (std::find(offered.begin(), offered.end(), name) != offered.end()) {
          chosen = name;
          found = true;
          break;
        }
      }
    }
    if (!found) return SSL_TLSEXT_ERR_NOACK;
    // The answer must point into the client's list, which outlives this call.
    const auto it = std::find(offered.begin(), offered.end(), chosen);
    if (it == offered.end()) return SSL_TLSEXT_ERR_NOACK;
    const size_t index = static_cast<size_t>(it - offered.begin());
    *out = positions[index];
    *out_length = static_cast<unsigned char>(offered[index].size());
    return SSL_TLSEXT_ERR_OK;
  }

  TzorTLSSettings settings_;
  SSL_CTX* ctx_ = nullptr;

  friend class OpenSSLEngine;
};

class OpenSSLEngine : public TzorTLSEngine {
 public:
  OpenSSLEngine(SSL_CTX* ctx, const TzorTLSSettings& settings, const std::string& host) {
    ERR_clear_error();
    ssl_ = SSL_new(ctx);
    if (!ssl_) Fail("Cannot create a TLS connection");
    BIO* in = NewQueueBIO(incoming_);
    BIO* out = NewQueueBIO(outgoing_);
    if (!in || !out) {
      BIO_free(in);
      BIO_free(out);
      SSL_free(ssl_);
      Fail("Cannot create TLS buffers");
    }
    SSL_set_bio(ssl_, in, out);
    // Whole runs of records per read of the incoming bytes, not a header and
    // then its record: a source (a socket) is asked far less often.
    SSL_set_read_ahead(ssl_, 1);
    if (settings.Side == TzorTLSSide::tlsServer) {
      SSL_set_accept_state(ssl_);
      return;
    }
    SSL_set_connect_state(ssl_);
    if (host.empty()) return;
    const bool literal = IsAddressLiteral(host);
    // Server names are host names only: an address literal is never sent.
    if (!literal) SSL_set_tlsext_host_name(ssl_, host.c_str());
    if (settings.VerifyCertificate) {
      X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
      X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      const int ok = literal ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                             : X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
      if (ok != 1) {
        SSL_free(ssl_);
        Fail(Format("Cannot check certificates against \"%s\"", host.c_str()));
      }
    }
  }
  ~OpenSSLEngine() override { SSL_free(ssl_); }

  bool Handshake() override {
    if (done_) return true;
    ERR_clear_error();
    const int r = SSL_do_handshake(ssl_);
    if (r == 1) {
      done_ = true;
      return true;
    }
    const int error = SSL_get_error(ssl_, r);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) return false;
    const long verify = SSL_get_verify_result(ssl_);
    if (verify != X509_V_OK) {
      TakeErrors();
      throw EzorTLSError(Format("TLS handshake failed: certificate verification failed (%s)",
                                X509_verify_cert_error_string(verify)));
    }
    Fail("TLS handshake failed");
  }
  bool HandshakeDone() const override { return done_; }

  std::span<char> IncomingRoom(size_t size) override { return incoming_.queue.Room(size); }
  void CommitIncoming(size_t size) override { incoming_.queue.Commit(size); }

  size_t ReadInto(std::span<char> out, const TzorCiphertextSource& source) override {
    if (!done_ && !Handshake()) return 0;
    incoming_.source = source ? &source : nullptr;
    struct Unset {
      TzorQueueBIOData& data;
      ~Unset() { data.source = nullptr; }
    } unset{incoming_};
    // Reads that succeed or want more queue no errors: the queue is cleared
    // only of what earlier calls left, as clearing costs more than a look.
    if (ERR_peek_error() != 0) ERR_clear_error();
    size_t got = 0;
    while (got < out.size() && !peer_closed_) {
      size_t n = 0;
      const int r = SSL_read_ex(ssl_, out.data() + got, out.size() - got, &n);
      if (r == 1) {
        got += n;
        continue;
      }
      const int error = SSL_get_error(ssl_, r);
      if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) break;
      if (error == SSL_ERROR_ZERO_RETURN) {
        peer_closed_ = true;
        break;
      }
      Fail("TLS read failed");
    }
    return got;
  }
  bool PeerClosed() const override { return peer_closed_; }

  void Write(std::string_view plaintext) override {
    if (!done_) throw EzorTLSError("TLS write before the handshake finished");
    while (!plaintext.empty()) {
      size_t written = 0;
      ERR_clear_error();
      if (SSL_write_ex(ssl_, plaintext.data(), plaintext.size(), &written) != 1) Fail("TLS write failed");
      plaintext.remove_prefix(written);
    }
  }

  void Shutdown() override {
    if (!done_) return;
    ERR_clear_error();
    SSL_shutdown(ssl_);
    TakeErrors();
  }

  bool HasOutgoing() const override { return outgoing_.queue.Size() > 0; }
  void TakeOutgoing(std::string& out) override { outgoing_.queue.TakeAll(out); }

  TzorTLSConnectionInfo Info() const override {
    TzorTLSConnectionInfo info;
    if (!done_) return info;
    info.Version = SSL_get_version(ssl_);
    if (const SSL_CIPHER* cipher = SSL_get_current_cipher(ssl_)) info.Cipher = SSL_CIPHER_get_name(cipher);
    const unsigned char* alpn = nullptr;
    unsigned alpn_length = 0;
    SSL_get0_alpn_selected(ssl_, &alpn, &alpn_length);
    if (alpn) info.ALPN.assign(reinterpret_cast<const char*>(alpn), alpn_length);
    if (X509* peer = SSL_get0_peer_certificate(ssl_)) info.PeerSubject = NameLine(X509_get_subject_name(peer));
    if (const char* name = SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name)) info.ServerName = name;
    info.SessionReused = SSL_session_reused(ssl_) == 1;
    return info;
  }

 private:
  // OpenSSL reads and writes these through its BIOs until ssl_ is freed.
  TzorQueueBIOData incoming_;
  TzorQueueBIOData outgoing_;
  SSL* ssl_ = nullptr;
  bool done_ = false;
  bool peer_closed_ = false;
};

std::unique_ptr<TzorTLSEngine> OpenSSLContext::NewEngine(const std::string& host) const {
  return std::make_unique<OpenSSLEngine>(ctx_, settings_, host);
}

}  // namespace

std::shared_ptr<const TzorTLSContext> NewOpenSSLContext(const TzorTLSSettings& settings) {
  return std::make_shared<OpenSSLContext>(settings);
}

}  // namespace zor
