#pragma once
// The platform provider's TLS transport: a client connection (connected,
// through a proxy when one is set, by a plain connection) whose TLS layer is
// the platform engine reading and writing the socket itself.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "http/tls_options.h"
#include "net/connection.h"
#include "net/schannel_engine.h"
#include "net/schannel_error.h"

namespace zor {

class TzorSChannelSystemSocket;

// The platform provider's TLS transport of a client connection.
class TzorIdSSLIOHandlerSocketSChannel {
 public:
  using TCredentialsEvent = std::function<void(TzorIdSSLIOHandlerSocketSChannel* Sender)>;

  TzorIdSSLIOHandlerSocketSChannel();
  virtual ~TzorIdSSLIOHandlerSocketSChannel();
  TzorIdSSLIOHandlerSocketSChannel(const TzorIdSSLIOHandlerSocketSChannel&) = delete;
  TzorIdSSLIOHandlerSocketSChannel& operator=(const TzorIdSSLIOHandlerSocketSChannel&) = delete;

  // Where to connect, time-outs and proxy.
  TzorSocketOptions& Options() { return connection_->Options(); }
  void SetProxy(const TzorProxySettings& proxy) { connection_->SetProxy(proxy); }
  // The address whose host the server name is taken from; empty: Options().Host.
  const std::string& URIToCheck() const { return uri_to_check_; }
  void SetURIToCheck(const std::string& uri) { uri_to_check_ = uri; }

  const std::vector<std::string>& ALPNProtocols() const { return FALPNProtocols; }
  void SetALPNProtocols(const std::vector<std::string>& lines) { FALPNProtocols = lines; }
  TzorSChannelCertificate& Certificate() { return FCertificate; }
  void SetCertificate(const TzorSChannelCertificate& value) { FCertificate.Assign(value); }
  const std::string& CipherList() const { return FCipherList; }
  void SetCipherList(const std::string& value) { FCipherList = value; }
  TwsTLSVersions TLSVersion() const { return FTLSVersion; }
  void SetTLSVersion(TwsTLSVersions value) { FTLSVersion = value; }
  // Trusted besides the system's roots and the "Root" stores.
  const std::string& RootCertFile() const { return root_cert_file_; }
  void SetRootCertFile(const std::string& file) { root_cert_file_ = file; }

  // true: the connection stays plain; switching it off on a connected
  // socket starts TLS there.
  bool PassThrough() const { return pass_through_; }
  virtual void SetPassThrough(bool value);

  // Connects the socket, then starts TLS. Raises SChannelError when TLS fails.
  virtual void Connect();
  virtual void StartTLS();
  virtual bool Connected() const;
  // Whether decrypted bytes are or become available within `timeout_ms`.
  virtual bool Readable(int timeout_ms);
  // Decrypted bytes (at most `size`): their count; 0 when the peer closed the
  // socket; -1 after the peer's close notification or on failure.
  virtual int ReadFromSource(char* buffer, int size);
  // Sends `length` bytes from `offset`: their count, or the failing result.
  virtual int WriteToTarget(const char* buffer, int offset, int length);
  // Sends a close notification when TLS is up, closes the socket and frees
  // the engine.
  virtual void Close();
  // A new transport with the same settings, not connected.
  virtual std::unique_ptr<TzorIdSSLIOHandlerSocketSChannel> Clone() const;

  std::string NegotiatedALPN() const;
  // nullptr without TLS.
  const TzorSChannelConnectionInfo* ConnectionInfo() const;

  TCredentialsEvent OnCredentials;

 private:
  std::string ServerName() const;

  std::vector<std::string> FALPNProtocols;
  std::unique_ptr<TzorSChannelEngine> FSSL;
  TzorSChannelCertificate FCertificate;
  std::string FCipherList;
  TwsTLSVersions FTLSVersion = tls1_0;
  std::string root_cert_file_;
  std::string uri_to_check_;
  bool pass_through_ = false;
  std::unique_ptr<TzorConnection> connection_;
  std::unique_ptr<TzorSChannelSystemSocket> socket_;
};

// The transport built from TLS options as an HTTP client builds it.
std::unique_ptr<TzorIdSSLIOHandlerSocketSChannel> NewSChannelIOHandler(const TzorSocketTLS_Options& options);

}  // namespace zor
