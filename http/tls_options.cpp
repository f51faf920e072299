#include "http/tls_options.h"

#include <atomic>
#include <mutex>

#include "base/paths.h"
#include "http/schannel_provider.h"
#include "net/openssl_engine.h"

namespace zor {

void TzorSocketOpenSSL_Options::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorSocketOpenSSL_Options*>(&source);
  if (!from) return TPersistent::Assign(source);
  FAPIVersion = from->FAPIVersion;
  FLibPath = from->FLibPath;
  FLibPathCustom = from->FLibPathCustom;
}

void TzorSocketSChannel_Options::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorSocketSChannel_Options*>(&source);
  if (!from) return TPersistent::Assign(source);
  FCertHash = from->FCertHash;
  FCertStoreName = from->FCertStoreName;
  FCertStorePath = from->FCertStorePath;
  FCipherList = from->FCipherList;
}

void TzorSSL_Verify_Certificate_Options::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorSSL_Verify_Certificate_Options*>(&source);
  if (!from) return TPersistent::Assign(source);
  FFailIfNoCertificate = from->FFailIfNoCertificate;
  FVerifyClientOnce = from->FVerifyClientOnce;
}

void TzorSocketTLS_Options_Base::AssignBaseFields(const TzorSocketTLS_Options_Base& source, bool with_depth) {
  FCertFile = source.FCertFile;
  FKeyFile = source.FKeyFile;
  FPassword = source.FPassword;
  FRootCertFile = source.FRootCertFile;
  FVersion = source.FVersion;
  FVerifyCertificate = source.FVerifyCertificate;
  if (with_depth) FVerifyDepth = source.FVerifyDepth;
}

void TzorSocketTLS_Options_Base::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorSocketTLS_Options_Base*>(&source);
  if (!from) return TPersistent::Assign(source);
  AssignBaseFields(*from, true);
}

TzorSocketTLS_Options::TzorSocketTLS_Options()
    : FOpenSSL_Options(std::make_unique<TzorOpenSSLClient_Options>()),
      FSChannel_Options(std::make_unique<TzorSChannelClient_Options>()) {}

TzorSocketTLS_Options::~TzorSocketTLS_Options() = default;

void TzorSocketTLS_Options::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorSocketTLS_Options*>(&source);
  if (!from) return TzorSocketTLS_Options_Base::Assign(source);
  FIOHandler = from->FIOHandler;
  FALPNProtocols = from->FALPNProtocols;
  FOpenSSL_Options->Assign(*from->FOpenSSL_Options);
}

void TzorIdHTTPTLS_Options::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorTCPTLS_Options*>(&source);
  if (!from) return TzorSocketTLS_Options::Assign(source);
  AssignBaseFields(*from, false);
  SetIOHandler(from->IOHandler());
  SetALPNProtocols(from->ALPNProtocols());
  OpenSSL_Options().Assign(from->OpenSSL_Options());
  SChannel_Options().Assign(from->SChannel_Options());
}

namespace {

std::atomic<TwsOpenSSLAPI> openssl_api_version{oslAPI_1_0};

std::mutex platform_provider_lock;
TzorTLSContextFactory& PlatformProvider() {
  static TzorTLSContextFactory factory = NewSChannelClientContext;
  return factory;
}

}  // namespace

void SetOpenSSLAPIVersion(TwsOpenSSLAPI version) { openssl_api_version = version; }
TwsOpenSSLAPI OpenSSLAPIVersion() { return openssl_api_version; }

std::vector<std::string> OpenSSLLibraryNames(TwsOpenSSLAPI version) {
  const std::string folder = OpenSSLDirectory();
  switch (version) {
    case oslAPI_1_0: return {folder + "libcrypto.so.1.0.0", folder + "libssl.so.1.0.0", folder + "libssl.so.10"};
    case oslAPI_1_1: return {folder + "libcrypto.so.1.1", folder + "libssl.so.1.1", folder + "libssl.so"};
    default: return {folder + "libcrypto.so.3", folder + "libssl.so.3", folder + "libssl.so"};
  }
}

void SetPlatformTLSProvider(TzorTLSContextFactory factory) {
  std::lock_guard guard(platform_provider_lock);
  PlatformProvider() = factory ? std::move(factory) : NewSChannelClientContext;
}

TzorTLSSettings ClientTLSSettings(const TzorSocketTLS_Options& options) {
  TzorTLSSettings settings;
  settings.Side = TzorTLSSide::tlsClient;
  settings.Version = options.Version();
  settings.ALPNProtocols = options.ALPNProtocols();
  settings.RootCertFile = options.RootCertFile();
  settings.CertFile = options.CertFile();
  settings.KeyFile = options.KeyFile();
  settings.VerifyCertificate = options.VerifyCertificate();
  return settings;
}

std::shared_ptr<const TzorTLSContext> NewClientTLSContext(const TzorSocketTLS_Options& options,
                                                          std::function<std::string()> on_get_password,
                                                          TzorTLSVerifyPeer on_verify_peer,
                                                          const std::vector<std::string>* alpn) {
  if (!on_get_password) on_get_password = [password = options.Password()] { return password; };
  if (options.IOHandler() == iohSChannel) {
    TzorTLSContextFactory factory;
    {
      std::lock_guard guard(platform_provider_lock);
      factory = PlatformProvider();
    }
    return factory(options, on_get_password, alpn ? *alpn : std::vector<std::string>());
  }
  const auto& openssl = options.OpenSSL_Options();
  SetOpenSSLAPIVersion(openssl.APIVersion());
  if (openssl.LibPath() == oslpDefaultFolder)
    SetOpenSSLDirectory(ProgramDirectory());
  else if (openssl.LibPath() == oslpCustomPath)
    SetOpenSSLDirectory(openssl.LibPathCustom());
  TzorTLSSettings settings = ClientTLSSettings(options);
  if (alpn) settings.ALPNProtocols = *alpn;
  settings.OnGetPassword = std::move(on_get_password);
  settings.OnVerifyPeer = std::move(on_verify_peer);
  return NewOpenSSLContext(settings);
}

}  // namespace zor
