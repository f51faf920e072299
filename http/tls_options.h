#pragma once
// The option classes every TLS connection of the library is configured by,
// and the TLS transport an HTTP client builds from them.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/persistent.h"
#include "net/schannel_certificate.h"
#include "net/tls_engine.h"

namespace zor {

enum TwsTLSIOHandler : uint8_t { iohOpenSSL, iohSChannel };
enum TwsOpenSSLAPI : uint8_t { oslAPI_1_0, oslAPI_1_1, oslAPI_3_0 };
enum TwsOpenSSLLibPath : uint8_t { oslpNone, oslpDefaultFolder, oslpCustomPath };
enum TwsOpenSSLSymLinks : uint8_t { oslsSymLinksDefault, oslsSymLinksLoadFirst, oslsSymLinksLoad, oslsSymLinksDontLoad };

// OpenSSL generation and library folder options.
class TzorSocketOpenSSL_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorSocketOpenSSL_Options"; }
  // Copies APIVersion, LibPath and LibPathCustom (UnixSymLinks stays).
  void Assign(const TPersistent& source) override;

  TwsOpenSSLAPI APIVersion() const { return FAPIVersion; }
  void SetAPIVersion(TwsOpenSSLAPI value) { FAPIVersion = value; }
  const std::string& LibPathCustom() const { return FLibPathCustom; }
  void SetLibPathCustom(const std::string& value) { FLibPathCustom = value; }
  TwsOpenSSLLibPath LibPath() const { return FLibPath; }
  void SetLibPath(TwsOpenSSLLibPath value) { FLibPath = value; }
  TwsOpenSSLSymLinks UnixSymLinks() const { return FUnixSymLinks; }
  void SetUnixSymLinks(TwsOpenSSLSymLinks value) { FUnixSymLinks = value; }

 private:
  TwsOpenSSLAPI FAPIVersion = oslAPI_1_0;
  std::string FLibPathCustom;
  TwsOpenSSLLibPath FLibPath = oslpNone;
  TwsOpenSSLSymLinks FUnixSymLinks = oslsSymLinksDefault;
};

// OpenSSL generation and library options of client connections.
class TzorOpenSSLClient_Options : public TzorSocketOpenSSL_Options {
 public:
  const char* ClassName() const override { return "TzorOpenSSLClient_Options"; }
};

// OpenSSL options of TCP connections.
class TzorTCPOpenSSL_Options : public TzorSocketOpenSSL_Options {
 public:
  const char* ClassName() const override { return "TzorTCPOpenSSL_Options"; }
};

// Options of the platform TLS provider.
class TzorSocketSChannel_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorSocketSChannel_Options"; }
  void Assign(const TPersistent& source) override;

  const std::string& CertHash() const { return FCertHash; }
  void SetCertHash(const std::string& value) { FCertHash = value; }
  TzorSChannelCertStoreName CertStoreName() const { return FCertStoreName; }
  void SetCertStoreName(TzorSChannelCertStoreName value) { FCertStoreName = value; }
  TzorSChannelCertStorePath CertStorePath() const { return FCertStorePath; }
  void SetCertStorePath(TzorSChannelCertStorePath value) { FCertStorePath = value; }
  const std::string& CipherList() const { return FCipherList; }
  void SetCipherList(const std::string& value) { FCipherList = value; }

 private:
  std::string FCertHash;
  TzorSChannelCertStoreName FCertStoreName = scsnMY;
  TzorSChannelCertStorePath FCertStorePath = scspStoreCurrentUser;
  std::string FCipherList;
};

// Platform TLS provider options of client connections.
class TzorSChannelClient_Options : public TzorSocketSChannel_Options {
 public:
  const char* ClassName() const override { return "TzorSChannelClient_Options"; }
};

// Client certificates asked for by a TLS server.
class TzorSSL_Verify_Certificate_Options : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorSSL_Verify_Certificate_Options"; }
  void Assign(const TPersistent& source) override;

  bool FailIfNoCertificate() const { return FFailIfNoCertificate; }
  void SetFailIfNoCertificate(bool value) { FFailIfNoCertificate = value; }
  bool VerifyClientOnce() const { return FVerifyClientOnce; }
  void SetVerifyClientOnce(bool value) { FVerifyClientOnce = value; }

 private:
  bool FFailIfNoCertificate = false;
  bool FVerifyClientOnce = false;
};

// Certificate, key, trust and version options of TLS connections.
class TzorSocketTLS_Options_Base : public TPersistent {
 public:
  const char* ClassName() const override { return "TzorSocketTLS_Options_Base"; }
  // From any object of the family: the seven fields below.
  void Assign(const TPersistent& source) override;

  const std::string& CertFile() const { return FCertFile; }
  void SetCertFile(const std::string& value) { FCertFile = value; }
  const std::string& KeyFile() const { return FKeyFile; }
  void SetKeyFile(const std::string& value) { FKeyFile = value; }
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& value) { FPassword = value; }
  const std::string& RootCertFile() const { return FRootCertFile; }
  void SetRootCertFile(const std::string& value) { FRootCertFile = value; }
  bool VerifyCertificate() const { return FVerifyCertificate; }
  void SetVerifyCertificate(bool value) { FVerifyCertificate = value; }
  int32_t VerifyDepth() const { return FVerifyDepth; }  // kept; the HTTP client does not apply it
  void SetVerifyDepth(int32_t value) { FVerifyDepth = value; }
  TwsTLSVersions Version() const { return FVersion; }
  void SetVersion(TwsTLSVersions value) { FVersion = value; }

 protected:
  std::string FCertFile;
  std::string FKeyFile;
  std::string FPassword;
  std::string FRootCertFile;
  bool FVerifyCertificate = false;
  int32_t FVerifyDepth = 0;
  TwsTLSVersions FVersion = tlsUndefined;

  void AssignBaseFields(const TzorSocketTLS_Options_Base& source, bool with_depth);
};

// TLS options of a connection: provider, ALPN and provider settings.
class TzorSocketTLS_Options : public TzorSocketTLS_Options_Base {
 public:
  TzorSocketTLS_Options();
  ~TzorSocketTLS_Options() override;
  TzorSocketTLS_Options(const TzorSocketTLS_Options&) = delete;
  TzorSocketTLS_Options& operator=(const TzorSocketTLS_Options&) = delete;

  const char* ClassName() const override { return "TzorSocketTLS_Options"; }
  // From this class or a subclass: IOHandler, ALPN lines and OpenSSL options
  // only. From a plain base object: the base's fields.
  void Assign(const TPersistent& source) override;

  const std::vector<std::string>& ALPNProtocols() const { return FALPNProtocols; }
  std::vector<std::string>& ALPNProtocols() { return FALPNProtocols; }
  void SetALPNProtocols(const std::vector<std::string>& lines) { FALPNProtocols = lines; }

  TwsTLSIOHandler IOHandler() const { return FIOHandler; }
  void SetIOHandler(TwsTLSIOHandler value) { FIOHandler = value; }

  TzorOpenSSLClient_Options& OpenSSL_Options() { return *FOpenSSL_Options; }
  const TzorOpenSSLClient_Options& OpenSSL_Options() const { return *FOpenSSL_Options; }
  void SetOpenSSL_Options(const TPersistent& value) { FOpenSSL_Options->Assign(value); }

  TzorSChannelClient_Options& SChannel_Options() { return *FSChannel_Options; }
  const TzorSChannelClient_Options& SChannel_Options() const { return *FSChannel_Options; }
  void SetSChannel_Options(const TPersistent& value) { FSChannel_Options->Assign(value); }

 private:
  TwsTLSIOHandler FIOHandler = iohOpenSSL;
  std::vector<std::string> FALPNProtocols;
  std::unique_ptr<TzorOpenSSLClient_Options> FOpenSSL_Options;
  std::unique_ptr<TzorSChannelClient_Options> FSChannel_Options;
};

// Certificate, key, trust and version options of TCP connections.
class TzorTCPTLS_Options_Base : public TzorSocketTLS_Options_Base {
 public:
  const char* ClassName() const override { return "TzorTCPTLS_Options_Base"; }
};

// TLS options of TCP connections.
class TzorTCPTLS_Options : public TzorSocketTLS_Options {
 public:
  const char* ClassName() const override { return "TzorTCPTLS_Options"; }
};

// The options of the HTTP client and the REST API client base.
class TzorIdHTTPTLS_Options : public TzorTCPTLS_Options {
 public:
  const char* ClassName() const override { return "TzorIdHTTPTLS_Options"; }
  // From a TzorTCPTLS_Options (this class included): everything but
  // VerifyDepth. From anything else: the TzorSocketTLS_Options rule.
  void Assign(const TPersistent& source) override;
};

// Process-wide OpenSSL generation, chosen by the last transport built. The
// linked OpenSSL 3 serves every generation; the choice is kept and reported.
void SetOpenSSLAPIVersion(TwsOpenSSLAPI version);
TwsOpenSSLAPI OpenSSLAPIVersion();
// The shared libraries of a generation on this system, crypto first, then
// the TLS library names in the order they are tried, each prefixed by the
// process-wide library folder.
std::vector<std::string> OpenSSLLibraryNames(TwsOpenSSLAPI version);

// How the platform provider (iohSChannel) builds its contexts, offering
// `alpn` (empty: no ALPN); nullptr restores the built-in one
// (net/schannel_engine.h).
using TzorTLSContextFactory = std::function<std::shared_ptr<const TzorTLSContext>(
    const TzorSocketTLS_Options& options, const std::function<std::string()>& on_get_password,
    const std::vector<std::string>& alpn)>;
void SetPlatformTLSProvider(TzorTLSContextFactory factory);

// Builds the client TLS transport an HTTP client keeps for its HTTPS
// requests. For OpenSSL this sets the process-wide generation and library
// folder from OpenSSL_Options; `on_get_password` supplies the key password,
// `on_verify_peer` (OpenSSL only) has its say on each peer certificate.
// `alpn`, when given, is what either provider offers; without it the
// OpenSSL provider offers the options' ALPNProtocols and the platform
// provider nothing (the HTTP client's rule).
// Raises EzorTLSError when the provider is missing or the files do not load.
std::shared_ptr<const TzorTLSContext> NewClientTLSContext(const TzorSocketTLS_Options& options,
                                                          std::function<std::string()> on_get_password,
                                                          TzorTLSVerifyPeer on_verify_peer = {},
                                                          const std::vector<std::string>* alpn = nullptr);

// The engine settings the OpenSSL transport is built with (steps of the
// build that do not touch process-wide state).
TzorTLSSettings ClientTLSSettings(const TzorSocketTLS_Options& options);

}  // namespace zor
