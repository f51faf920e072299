#include "http/schannel_io_handler.h"

#include <boost/url/parse.hpp>

#include "http/schannel_provider.h"
#include "net/schannel_socket.h"

namespace zor {

TzorIdSSLIOHandlerSocketSChannel::TzorIdSSLIOHandlerSocketSChannel()
    : connection_(std::make_unique<TzorConnection>()) {}

TzorIdSSLIOHandlerSocketSChannel::~TzorIdSSLIOHandlerSocketSChannel() { Close(); }

std::string TzorIdSSLIOHandlerSocketSChannel::ServerName() const {
  if (!uri_to_check_.empty()) {
    if (auto parsed = boost::urls::parse_uri(uri_to_check_)) {
      std::string host(parsed->encoded_host_address());
      if (!host.empty()) return host;
    }
  }
  return connection_->Options().Host;
}

void TzorIdSSLIOHandlerSocketSChannel::SetPassThrough(bool value) {
  const bool start = pass_through_ && !value && connection_->Connected() && !FSSL;
  pass_through_ = value;
  if (start) StartTLS();
}

void TzorIdSSLIOHandlerSocketSChannel::Connect() {
  Close();
  const bool pass_through = pass_through_;
  pass_through_ = true;
  try {
    connection_->Connect();
  } catch (...) {
    pass_through_ = pass_through;
    throw;
  }
  pass_through_ = pass_through;
  StartTLS();
}

void TzorIdSSLIOHandlerSocketSChannel::StartTLS() {
  if (pass_through_ || FSSL) return;
  TzorSChannelSettings settings;
  settings.TLSVersion = FTLSVersion;
  settings.ALPNProtocols = FALPNProtocols;
  settings.CipherList = FCipherList;
  settings.Certificate.Assign(FCertificate);
  settings.RootCertFile = root_cert_file_;
  socket_ = std::make_unique<TzorSChannelSystemSocket>(connection_->NativeHandle(), Options().ReadTimeout);
  auto engine = std::make_unique<TzorSChannelEngine>(*socket_, ServerName(), settings);
  if (OnCredentials) engine->OnCredentials = [this] { OnCredentials(this); };
  if (engine->Connect() != 1) {
    const SChannelError error("SChannel initialization error: " + SChannelLastErrorText(), SChannelLastCertStatus());
    connection_->Disconnect(false);
    throw error;
  }
  FSSL = std::move(engine);
}

bool TzorIdSSLIOHandlerSocketSChannel::Connected() const {
  return pass_through_ ? connection_->Connected() : FSSL != nullptr;
}

bool TzorIdSSLIOHandlerSocketSChannel::Readable(int timeout_ms) {
  if (pass_through_ || !FSSL) return connection_->InputBufferSize() > 0 || connection_->WaitForData(timeout_ms);
  return FSSL->Pending(timeout_ms) > 0;
}

int TzorIdSSLIOHandlerSocketSChannel::ReadFromSource(char* buffer, int size) {
  if (pass_through_ || !FSSL) {
    std::string bytes;
    if (connection_->InputBufferSize() == 0 && !connection_->WaitForData(-1)) return 0;
    connection_->ReadFromBuffer(bytes, static_cast<size_t>(size));
    bytes.copy(buffer, bytes.size());
    return static_cast<int>(bytes.size());
  }
  return FSSL->Read(buffer, size);
}

int TzorIdSSLIOHandlerSocketSChannel::WriteToTarget(const char* buffer, int offset, int length) {
  if (pass_through_ || !FSSL) {
    connection_->Write(std::string_view(buffer + offset, static_cast<size_t>(length)));
    return length;
  }
  int written = 0;
  while (written < length) {
    const int n = FSSL->Write(buffer + offset + written, length - written);
    if (n <= 0) return n;
    written += n;
  }
  return written;
}

void TzorIdSSLIOHandlerSocketSChannel::Close() {
  if (FSSL) FSSL->Shutdown();
  connection_->Disconnect(false);
  FSSL.reset();
  socket_.reset();
}

std::unique_ptr<TzorIdSSLIOHandlerSocketSChannel> TzorIdSSLIOHandlerSocketSChannel::Clone() const {
  auto copy = std::make_unique<TzorIdSSLIOHandlerSocketSChannel>();
  copy->Options() = connection_->Options();
  copy->FALPNProtocols = FALPNProtocols;
  copy->FCertificate.Assign(FCertificate);
  copy->FCipherList = FCipherList;
  copy->FTLSVersion = FTLSVersion;
  copy->root_cert_file_ = root_cert_file_;
  copy->pass_through_ = pass_through_;
  copy->uri_to_check_ = uri_to_check_;
  return copy;
}

std::string TzorIdSSLIOHandlerSocketSChannel::NegotiatedALPN() const { return FSSL ? FSSL->NegotiatedALPN() : ""; }

const TzorSChannelConnectionInfo* TzorIdSSLIOHandlerSocketSChannel::ConnectionInfo() const {
  return FSSL ? FSSL->ConnectionInfo() : nullptr;
}

std::unique_ptr<TzorIdSSLIOHandlerSocketSChannel> NewSChannelIOHandler(const TzorSocketTLS_Options& options) {
  const TzorSChannelSettings settings = SChannelSettings(options);
  auto handler = std::make_unique<TzorIdSSLIOHandlerSocketSChannel>();
  handler->SetTLSVersion(settings.TLSVersion);
  handler->SetCertificate(settings.Certificate);
  handler->SetCipherList(settings.CipherList);
  handler->SetRootCertFile(settings.RootCertFile);
  return handler;
}

}  // namespace zor
