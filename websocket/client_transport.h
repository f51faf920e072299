#pragma once
// The transport objects a WebSocket client keeps across activations (TLS
// context, traffic log, throttle) and the connection it builds from them for
// each activation: socket options, proxy tunnel, TLS with the host name as
// SNI and, with verification, as the name the certificate must carry.
#include <functional>
#include <memory>
#include <string>

#include "net/connection.h"
#include "net/throttle.h"
#include "net/traffic_log.h"
#include "websocket/client_options.h"

namespace zor {

// The client's traffic log. With UnMaskFrames the connection logs frames
// decoded instead of their raw bytes.
class TzorWSIdLogFileClient : public TzorIdLogFileClient {
 public:
  bool UnMaskFrames() const { return unmask_frames_; }
  void SetUnMaskFrames(bool value) { unmask_frames_ = value; }

 private:
  std::atomic<bool> unmask_frames_{false};
};

// What the frame log of a connection is set to.
struct TzorWSLogSettings {
  bool Enabled = false;
  std::string FileName;
  bool UnMaskFrames = false;
};

// What OnSSLGetHandler may hand over instead of a transport built from the
// options; nullptr lets the client build one.
using TzorWSGetTLSContext = std::function<std::shared_ptr<const TzorTLSContext>()>;

// The application protocols a connection offers: `configured`, and with
// `rfc8441` "h2" behind them when they lack it ("h2" then "http/1.1" when
// there are none, so that a server without HTTP/2 still agrees to one).
std::vector<std::string> ALPNOffer(const std::vector<std::string>& configured, bool rfc8441);

// What the client builds its socket from: TLS context, proxy, throttle and log.
class TzorWSClientTransport {
 public:
  // With `tls`: the context is taken from `get_context` or built from the
  // options with their provider, offering the options' application
  // protocols and, when `rfc8441` is on, "h2" (see ALPNOffer). The options
  // stay as they are. Without: any context is dropped.
  void PrepareTLS(bool tls, const TzorWSTLS_Options& options, bool rfc8441,
                  const TzorWSGetTLSContext& get_context = {}, TzorTLSVerifyPeer verify_peer = {});
  const std::shared_ptr<const TzorTLSContext>& TLSContext() const { return tls_; }

  // The intercept chain: throttle first, the log behind it, each only when on.
  // Raises EFOpenError when the log file cannot be opened.
  void PrepareIntercepts(const TzorWSLogSettings& log, const TzorWSThrottle& throttle);
  // Created on first use, kept across activations.
  const std::shared_ptr<TzorWSIdLogFileClient>& LogIntercept();
  TzorThrottle& ThrottleIntercept();
  bool LogActive() const { return log_in_chain_; }
  bool ThrottleActive() const { return throttle_in_chain_; }

  // A new, unconnected connection to `socket.Host`:`socket.Port` with the
  // prepared TLS and intercepts, through the proxy when it is enabled.
  std::unique_ptr<TzorConnection> NewConnection(const TzorSocketOptions& socket, const TzorWSProxy_Options& proxy) const;

 private:
  std::shared_ptr<const TzorTLSContext> tls_;
  std::shared_ptr<TzorWSIdLogFileClient> log_;
  std::shared_ptr<TzorThrottle> throttle_;
  bool log_in_chain_ = false;
  bool throttle_in_chain_ = false;
};

}  // namespace zor
