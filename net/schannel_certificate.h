#pragma once
// What the platform TLS provider needs to know about the client certificate
// and the checking of the server's: the certificate stores and their places,
// and the settings object its transport owns.
#include <cstdint>
#include <string>

#include "base/persistent.h"

namespace zor {

enum TzorSChannelCertStoreName : uint8_t { scsnMY, scsnRoot, scsnTrust, scsnCA };
enum TzorSChannelCertStorePath : uint8_t { scspStoreCurrentUser, scspStoreLocalMachine };

// The client certificate settings of the platform TLS provider.
class TzorSChannelCertificate : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorSChannelCertificate"; }
  // Copies all six values.
  void Assign(const TPersistent& source) override;

  const std::string& CertFilePassword() const { return FCertFilePassword; }
  void SetCertFilePassword(const std::string& value) { FCertFilePassword = value; }
  // SHA-1 thumbprint (40 hexadecimal digits) of a certificate in a store.
  const std::string& CertHash() const { return FCertHash; }
  void SetCertHash(const std::string& value) { FCertHash = value; }
  // A PKCS#12 file with the certificate and its key.
  const std::string& CertFile() const { return FCertFile; }
  void SetCertFile(const std::string& value) { FCertFile = value; }
  TzorSChannelCertStoreName CertStoreName() const { return FCertStoreName; }
  void SetCertStoreName(TzorSChannelCertStoreName value) { FCertStoreName = value; }
  TzorSChannelCertStorePath CertStorePath() const { return FCertStorePath; }
  void SetCertStorePath(TzorSChannelCertStorePath value) { FCertStorePath = value; }
  bool VerifyCertificate() const { return FVerifyCertificate; }
  void SetVerifyCertificate(bool value) { FVerifyCertificate = value; }

 private:
  std::string FCertFilePassword;
  std::string FCertHash;
  std::string FCertFile;
  TzorSChannelCertStoreName FCertStoreName = scsnMY;
  TzorSChannelCertStorePath FCertStorePath = scspStoreCurrentUser;
  bool FVerifyCertificate = false;
};

}  // namespace zor
