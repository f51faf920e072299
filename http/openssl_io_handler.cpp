#include "http/openssl_io_handler.h"

#include "net/net_errors.h"
#include "net/openssl_engine.h"

namespace zor {

// Holds the transport's lock for a scope, released also on failure.
struct TzorIdSSLIOHandlerSocketOpenSSL::Locked {
  explicit Locked(TzorIdSSLIOHandlerSocketOpenSSL& h) : handler(h) { handler.Lock(); }
  ~Locked() { handler.Unlock(); }
  TzorIdSSLIOHandlerSocketOpenSSL& handler;
};

TzorIdSSLIOHandlerSocketOpenSSL::TzorIdSSLIOHandlerSocketOpenSSL() = default;
TzorIdSSLIOHandlerSocketOpenSSL::~TzorIdSSLIOHandlerSocketOpenSSL() = default;

void TzorIdSSLIOHandlerSocketOpenSSL::Lock() { lock_.lock(); }
void TzorIdSSLIOHandlerSocketOpenSSL::Unlock() { lock_.unlock(); }

void TzorIdSSLIOHandlerSocketOpenSSL::Configure(const TzorSocketTLS_Options& options,
                                                std::function<std::string()> on_get_password) {
  if (!on_get_password) on_get_password = [password = options.Password()] { return password; };
  TzorTLSSettings settings = ClientTLSSettings(options);
  settings.OnGetPassword = std::move(on_get_password);
  context_ = NewOpenSSLContext(settings);
}

void TzorIdSSLIOHandlerSocketOpenSSL::SetPassThrough(bool pass_through) {
  const bool start_tls = pass_through_ && !pass_through && Connected() && !TLSActive();
  pass_through_ = pass_through;
  if (!start_tls) return;
  if (!context_) throw EzorTLSError("The TLS transport is not configured");
  StartTLS(context_);
}

void TzorIdSSLIOHandlerSocketOpenSSL::Connect() {
  if (!pass_through_ && !context_) throw EzorTLSError("The TLS transport is not configured");
  SetTLS(pass_through_ ? nullptr : context_);
  TzorConnection::Connect();
}

bool TzorIdSSLIOHandlerSocketOpenSSL::Readable(int timeout_ms) {
  if (!TLSActive() && !pass_through_) return false;
  return InputBufferSize() > 0 || WaitForData(timeout_ms);
}

int TzorIdSSLIOHandlerSocketOpenSSL::ReadFromSource(std::string& out, size_t max) {
  if (!TLSActive()) return -1;
  Locked locked(*this);
  if (InputBufferSize() == 0) WaitForData(0);
  return static_cast<int>(ReadFromBuffer(out, max));
}

void TzorIdSSLIOHandlerSocketOpenSSL::Write(std::string_view bytes) {
  Locked locked(*this);
  TzorConnection::Write(bytes);
}

void TzorIdSSLIOHandlerSocketOpenSSL::BeginWrite() {
  Lock();
  try {
    TzorConnection::BeginWrite();
  } catch (...) {
    Unlock();
    throw;
  }
}

void TzorIdSSLIOHandlerSocketOpenSSL::FlushWrite() {
  Locked locked(*this);
  TzorConnection::FlushWrite();
}

void TzorIdSSLIOHandlerSocketOpenSSL::EndWrite() {
  // Releases the lock BeginWrite took, also when sending fails.
  struct UnlockOnExit {
    TzorIdSSLIOHandlerSocketOpenSSL& handler;
    ~UnlockOnExit() { handler.Unlock(); }
  } unlock{*this};
  TzorConnection::EndWrite();
}

void TzorIdSSLIOHandlerSocketOpenSSL::CancelWrite() {
  TzorConnection::CancelWrite();
  Unlock();
}

}  // namespace zor
