#pragma once
// Certificates with their keys, and the certificate stores of the platform
// TLS provider. A store is a folder of PEM or PKCS#12 files:
//   current user:  $XDG_CONFIG_HOME/zor/certificates/<MY|Root|Trust|CA>
//                  (~/.config when XDG_CONFIG_HOME is not set)
//   local machine: /etc/zor/certificates/<MY|Root|Trust|CA>
// A PEM file with a private key holds one certificate (the first) with its
// chain; a PEM file without key holds any number of certificates; a PKCS#12
// file in a store is read without password.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/schannel_certificate.h"

namespace zor {

// One certificate of the platform TLS provider, with its chain and key when present.
class TzorCertContext {
 public:
  struct Impl;
  explicit TzorCertContext(std::unique_ptr<Impl> impl);
  ~TzorCertContext();
  TzorCertContext(const TzorCertContext&) = delete;
  TzorCertContext& operator=(const TzorCertContext&) = delete;

  // SHA-1 digest of the certificate (20 bytes), the thumbprint stores find it by.
  const std::string& SHA1() const;
  const std::string& DER() const;
  std::string SubjectText() const;
  bool HasKey() const;
  // No extended key usage, or one that allows client authentication.
  bool UsableForClientAuth() const;
  // Whether the certificate or one of its chain was issued by this name (DER).
  bool IssuedBy(std::string_view issuer_dn) const;

  const Impl& Details() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

using TzorCertList = std::vector<std::shared_ptr<const TzorCertContext>>;

// The certificate of PKCS#12 bytes with its key and chain; nullptr when the
// bytes do not import with that password (nullptr: none at all, which is
// not the same as an empty one).
std::shared_ptr<const TzorCertContext> ImportPFX(std::string_view bytes, const char* password);

// The certificates of one store file (PEM or PKCS#12); empty when it holds none.
TzorCertList ReadStoreFile(std::string_view bytes);

std::string CertStoreFolder(TzorSChannelCertStoreName name, TzorSChannelCertStorePath place);
// Moves both places (tests); empty strings restore the defaults.
void SetCertStoreRoots(const std::string& current_user, const std::string& local_machine);

// A certificate store of the platform TLS provider: a folder of PEM and PKCS#12 files.
class TzorCertStore {
 public:
  // nullptr when the store's folder does not exist.
  static std::unique_ptr<TzorCertStore> Open(TzorSChannelCertStoreName name, TzorSChannelCertStorePath place);
  const TzorCertList& Certificates() const { return certificates_; }
  std::shared_ptr<const TzorCertContext> FindBySHA1(std::string_view sha1) const;

 private:
  TzorCertList certificates_;
};

}  // namespace zor
