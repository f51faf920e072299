#include "websocket/client_transport.h"

#include <algorithm>

namespace zor {

std::vector<std::string> ALPNOffer(const std::vector<std::string>& configured, bool rfc8441) {
  std::vector<std::string> offer = configured;
  if (rfc8441 && std::find(offer.begin(), offer.end(), "h2") == offer.end()) {
    // Offered alone, "h2" would leave an HTTP/1.1-only server no protocol
    // to agree to, and the fallback to the HTTP/1.1 upgrade no chance.
    offer.push_back("h2");
    if (configured.empty()) offer.push_back("http/1.1");
  }
  return offer;
}

void TzorWSClientTransport::PrepareTLS(bool tls, const TzorWSTLS_Options& options, bool rfc8441,
                                       const TzorWSGetTLSContext& get_context, TzorTLSVerifyPeer verify_peer) {
  tls_.reset();
  if (!tls) return;
  if (get_context) tls_ = get_context();
  if (tls_) return;
  const std::vector<std::string> offer = ALPNOffer(options.ALPNProtocols(), rfc8441);
  tls_ = NewClientTLSContext(options, nullptr, std::move(verify_peer), &offer);
}

const std::shared_ptr<TzorWSIdLogFileClient>& TzorWSClientTransport::LogIntercept() {
  if (!log_) {
    log_ = std::make_shared<TzorWSIdLogFileClient>();
    log_->SetReplaceCRLF(false);
  }
  return log_;
}

TzorThrottle& TzorWSClientTransport::ThrottleIntercept() {
  if (!throttle_) throttle_ = std::make_shared<TzorThrottle>();
  return *throttle_;
}

void TzorWSClientTransport::PrepareIntercepts(const TzorWSLogSettings& log, const TzorWSThrottle& throttle) {
  TzorWSIdLogFileClient& file = *LogIntercept();
  if (!file.Active()) file.SetFileName(log.FileName);
  file.SetActive(log.Enabled && !file.FileName().empty());
  file.SetUnMaskFrames(log.UnMaskFrames);
  ThrottleIntercept().SetBitsPerSec(throttle.BitsPerSec());
  log_in_chain_ = log.Enabled && !file.FileName().empty();
  throttle_in_chain_ = throttle.Enabled();
}

std::unique_ptr<TzorConnection> TzorWSClientTransport::NewConnection(const TzorSocketOptions& socket,
                                                                     const TzorWSProxy_Options& proxy) const {
  auto connection = std::make_unique<TzorConnection>();
  connection->Options() = socket;
  if (proxy.Enabled()) connection->SetProxy(ProxySettings(proxy));
  if (tls_) connection->SetTLS(tls_);
  if (throttle_in_chain_) connection->AddIntercept(throttle_);
  if (log_in_chain_) connection->AddIntercept(log_);
  return connection;
}

}  // namespace zor
