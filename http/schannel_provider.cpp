#include "http/schannel_provider.h"

#include "net/schannel_tls_context.h"

namespace zor {

TzorSChannelSettings SChannelSettings(const TzorSocketTLS_Options& options) {
  TzorSChannelSettings settings;
  const TzorSChannelClient_Options& schannel = options.SChannel_Options();
  settings.TLSVersion = options.Version();
  settings.Certificate.SetVerifyCertificate(options.VerifyCertificate());
  settings.Certificate.SetCertHash(schannel.CertHash());
  settings.Certificate.SetCertStorePath(schannel.CertStorePath());
  settings.Certificate.SetCertStoreName(schannel.CertStoreName());
  settings.CipherList = schannel.CipherList();
  settings.Certificate.SetCertFile(options.CertFile());
  settings.Certificate.SetCertFilePassword(options.Password());
  settings.RootCertFile = options.RootCertFile();
  return settings;
}

std::shared_ptr<const TzorTLSContext> NewSChannelClientContext(const TzorSocketTLS_Options& options,
                                                               const std::function<std::string()>& on_get_password,
                                                               const std::vector<std::string>& alpn) {
  TzorSChannelSettings settings = SChannelSettings(options);
  settings.ALPNProtocols = alpn;
  // The client's password source answers for the certificate file too.
  if (on_get_password) settings.Certificate.SetCertFilePassword(on_get_password());
  return NewSChannelContext(settings);
}

}  // namespace zor
