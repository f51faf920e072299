#pragma once
// Certificate stores for tests of the platform TLS provider: a fresh pair of
// store roots (current user, local machine) in the test PKI's folder, with
// helpers that put certificates into stores and write PKCS#12 files.
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "net/cert_store.h"
#include "tests/net/test_pki.h"

namespace zor::test {

class TestStores {
 public:
  explicit TestStores(const TestPKI& pki) : pki_(pki) {
    SetCertStoreRoots(pki.Dir() + "/user", pki.Dir() + "/machine");
  }
  ~TestStores() { SetCertStoreRoots("", ""); }
  TestStores(const TestStores&) = delete;
  TestStores& operator=(const TestStores&) = delete;

  // Copies files (concatenated) into a store as `name`.
  void Put(TzorSChannelCertStoreName store, TzorSChannelCertStorePath place, const std::string& name,
           std::initializer_list<std::string> files) const {
    const std::string folder = CertStoreFolder(store, place);
    std::filesystem::create_directories(folder);
    std::ofstream out(folder + "/" + name, std::ios::binary);
    for (const auto& file : files) out << Read(file);
  }
  void TrustTestCA() const { Put(scsnRoot, scspStoreCurrentUser, "ca.pem", {pki_.CAFile()}); }

  // A PKCS#12 file of a certificate and its key (key password "secret" when
  // the key is the encrypted one).
  std::string WritePFX(const std::string& cert_file, const std::string& key_file, const char* key_password,
                       const char* pfx_password, const std::string& name) const {
    FILE* f = std::fopen(cert_file.c_str(), "r");
    X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    f = std::fopen(key_file.c_str(), "r");
    EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, const_cast<char*>(key_password));
    std::fclose(f);
    PKCS12* p12 = PKCS12_create(pfx_password, "zor", key, cert, nullptr, 0, 0, 0, 0, 0);
    if (!p12) throw std::runtime_error("PKCS12_create failed");
    const std::string path = pki_.Dir() + "/" + name;
    f = std::fopen(path.c_str(), "wb");
    i2d_PKCS12_fp(f, p12);
    std::fclose(f);
    PKCS12_free(p12);
    EVP_PKEY_free(key);
    X509_free(cert);
    return path;
  }

  // SHA-1 thumbprint of a PEM certificate file, in hexadecimal.
  static std::string Thumbprint(const std::string& cert_file) {
    FILE* f = std::fopen(cert_file.c_str(), "r");
    X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    unsigned char digest[20];
    unsigned size = sizeof digest;
    X509_digest(cert, EVP_sha1(), digest, &size);
    X509_free(cert);
    static const char* const kHex = "0123456789ABCDEF";
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
      hex += kHex[digest[i] >> 4];
      hex += kHex[digest[i] & 15];
    }
    return hex;
  }

  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  const TestPKI& pki_;
};

}  // namespace zor::test
