#pragma once
// The library's OpenSSL transport for long-lived connections that one
// thread reads while others write: a blocking connection whose TLS reads and
// writes each run under the transport's lock.
#include <functional>
#include <mutex>
#include <string>

#include "http/tls_options.h"
#include "net/connection.h"

namespace zor {

// The OpenSSL transport of long-lived client connections.
class TzorIdSSLIOHandlerSocketOpenSSL : public TzorConnection {
 public:
  TzorIdSSLIOHandlerSocketOpenSSL();
  ~TzorIdSSLIOHandlerSocketOpenSSL() override;

  // Builds the TLS side from the options (OpenSSL, client).
  void Configure(const TzorSocketTLS_Options& options, std::function<std::string()> on_get_password = {});

  // true: the connection stays plain after connecting; switching it to
  // false on an open plain connection starts TLS there. false (the
  // default): TLS starts right after connecting.
  bool PassThrough() const { return pass_through_; }
  void SetPassThrough(bool pass_through);

  void Connect() override;

  // Whether decrypted bytes are or become available within `timeout_ms`;
  // false while there is neither an active TLS layer nor pass-through.
  bool Readable(int timeout_ms);
  // Appends the decrypted bytes available now (at most `max`); -1 without
  // touching the lock while no TLS layer is active.
  int ReadFromSource(std::string& out, size_t max);

  void Write(std::string_view bytes) override;
  using TzorTransport::Write;
  // The lock is taken before the write buffer's own, always in that order.
  void BeginWrite() override;
  void FlushWrite() override;
  void EndWrite() override;
  void CancelWrite() override;

 protected:
  virtual void Lock();
  virtual void Unlock();

 private:
  struct Locked;
  std::recursive_mutex lock_;
  std::shared_ptr<const TzorTLSContext> context_;
  bool pass_through_ = false;
};

}  // namespace zor
