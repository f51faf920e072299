#pragma once
// A throw-away certificate authority for tests: a CA, a server certificate
// for "localhost" and 127.0.0.1 and a client certificate, written as PEM
// files into a fresh temporary folder that is removed afterwards.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "net/tls_engine.h"

namespace zor::test {

class TestPKI {
 public:
  TestPKI() {
    char pattern[] = "/tmp/zor-pki-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    EVP_PKEY* ca_key = NewKey();
    X509* ca = NewCertificate(ca_key, "zor test CA", nullptr, ca_key, nullptr, true);
    WriteCertificate(ca, CAFile());
    Issue(ca, ca_key, "localhost", "DNS:localhost,IP:127.0.0.1,IP:::1", ServerCertFile(), ServerKeyFile(), nullptr);
    Issue(ca, ca_key, "zor test client", nullptr, ClientCertFile(), ClientKeyFile(), nullptr);
    Issue(ca, ca_key, "zor test client 2", nullptr, EncryptedClientCertFile(), EncryptedClientKeyFile(), "secret");
    X509_free(ca);
    EVP_PKEY_free(ca_key);
  }
  ~TestPKI() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TestPKI(const TestPKI&) = delete;
  TestPKI& operator=(const TestPKI&) = delete;

  std::string CAFile() const { return dir_ + "/ca.pem"; }
  std::string ServerCertFile() const { return dir_ + "/server.pem"; }
  std::string ServerKeyFile() const { return dir_ + "/server.key"; }
  std::string ClientCertFile() const { return dir_ + "/client.pem"; }
  std::string ClientKeyFile() const { return dir_ + "/client.key"; }
  // A second client whose key is encrypted with the password "secret".
  std::string EncryptedClientCertFile() const { return dir_ + "/client2.pem"; }
  std::string EncryptedClientKeyFile() const { return dir_ + "/client2.key"; }
  const std::string& Dir() const { return dir_; }

  // A TLS server with the "localhost" certificate.
  TzorTLSSettings ServerSettings() const {
    TzorTLSSettings s;
    s.Side = TzorTLSSide::tlsServer;
    s.CertFile = ServerCertFile();
    s.KeyFile = ServerKeyFile();
    return s;
  }

 private:
  static EVP_PKEY* NewKey() { return EVP_EC_gen("P-256"); }

  static X509* NewCertificate(EVP_PKEY* key, const char* common_name, const char* alt_names, EVP_PKEY* issuer_key,
                              X509* issuer, bool ca) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    static long serial = 1;
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(common_name), -1, -1,
                               0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer ? issuer : cert, cert, nullptr, nullptr, 0);
    AddExtension(cert, &ctx, NID_basic_constraints, ca ? "critical,CA:TRUE" : "CA:FALSE");
    if (ca) AddExtension(cert, &ctx, NID_key_usage, "critical,keyCertSign,cRLSign");
    if (alt_names) AddExtension(cert, &ctx, NID_subject_alt_name, alt_names);
    X509_sign(cert, issuer_key, EVP_sha256());
    return cert;
  }

  static void AddExtension(X509* cert, X509V3_CTX* ctx, int nid, const char* value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }

  static void WriteCertificate(X509* cert, const std::string& file) {
    FILE* f = std::fopen(file.c_str(), "w");
    PEM_write_X509(f, cert);
    std::fclose(f);
  }

  static void Issue(X509* ca, EVP_PKEY* ca_key, const char* common_name, const char* alt_names,
                    const std::string& cert_file, const std::string& key_file, const char* password) {
    EVP_PKEY* key = NewKey();
    X509* cert = NewCertificate(key, common_name, alt_names, ca_key, ca, false);
    WriteCertificate(cert, cert_file);
    FILE* f = std::fopen(key_file.c_str(), "w");
    if (password)
      PEM_write_PrivateKey(f, key, EVP_aes_256_cbc(), nullptr, 0, nullptr, const_cast<char*>(password));
    else
      PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
    X509_free(cert);
    EVP_PKEY_free(key);
  }

  std::string dir_;
};

}  // namespace zor::test
