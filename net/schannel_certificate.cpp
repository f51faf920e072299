#include "net/schannel_certificate.h"

namespace zor {

void TzorSChannelCertificate::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorSChannelCertificate*>(&source);
  if (!from) return TPersistent::Assign(source);
  FCertFilePassword = from->FCertFilePassword;
  FCertHash = from->FCertHash;
  FCertFile = from->FCertFile;
  FCertStoreName = from->FCertStoreName;
  FCertStorePath = from->FCertStorePath;
  FVerifyCertificate = from->FVerifyCertificate;
}

}  // namespace zor
