#pragma once
// A blocking client connection: resolve and connect with a time-out, an
// optional proxy tunnel, an optional TLS engine, intercepts, an input buffer
// and buffered writes. One thread reads while any number of threads write.
#include <memory>
#include <span>
#include <string>

#include "net/intercept.h"
#include "net/proxy.h"
#include "net/socket_options.h"
#include "net/tls_engine.h"
#include "net/socket_transport.h"

namespace zor {

// A blocking client connection: connect with time-outs, proxy, TLS, buffered reads and writes.
class TzorConnection : public TzorSocketTransport {
 public:
  TzorConnection();
  ~TzorConnection() override;
  TzorConnection(const TzorConnection&) = delete;
  TzorConnection& operator=(const TzorConnection&) = delete;

  // Settings, read by Connect.
  TzorSocketOptions& Options();
  void SetProxy(const TzorProxySettings& proxy);
  // TLS starts right after connecting when a context is set; nullptr: plain.
  void SetTLS(std::shared_ptr<const TzorTLSContext> context);
  // Name the TLS engine sends as SNI and checks the certificate against;
  // empty (the default) means Options().Host.
  void SetTLSHost(const std::string& host);
  // Intercepts see the bytes in the order they were added.
  void AddIntercept(std::shared_ptr<TzorConnectionIntercept> intercept);
  void ClearIntercepts();

  // TCP connect, proxy tunnel, TLS handshake; raises on failure and leaves
  // the connection closed. A connected connection is closed first.
  virtual void Connect();
  // Starts TLS on an open connection (STARTTLS-style upgrades).
  void StartTLS(std::shared_ptr<const TzorTLSContext> context);

  // Reads: at least one byte, waiting up to ReadTimeout; appends at most
  // `max` bytes. Returns 0 only when the peer has closed and nothing is left.
  size_t ReadSome(std::string& out, size_t max);
  // Exactly `count` bytes, waiting up to ReadTimeout for each arrival.
  std::string ReadBytes(size_t count);
  // Fills `into` exactly, as ReadBytes(count) but into the caller's memory:
  // with TLS the bytes are decrypted straight there. When not all come, the
  // ones that did wait in the input buffer for the next read.
  void ReadBytes(std::span<char> into);
  // Raises EzorConnClosedGracefully when the peer has closed and the input
  // buffer is empty; reads whatever is available without waiting first.
  void CheckForDisconnect();

  // TzorTransport
  bool WaitForData(int timeout_ms) override;
  size_t ReceiveSome(std::span<char> into, int timeout_ms) override;
  bool Connected() const override;
  void Disconnect(bool notify_peer = true) override;
  std::string NegotiatedALPN() const override;

  // The socket's descriptor (-1 when closed), for a TLS layer that reads and
  // writes it itself; the connection must not read it meanwhile.
  int NativeHandle();

  bool TLSActive() const;
  // Empty fields without TLS.
  TzorTLSConnectionInfo TLSInfo() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zor
