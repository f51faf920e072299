#pragma once
// A server-side connection driven by Asio: bytes are read as they arrive
// (through the TLS engine when one is set) into the input buffer and a
// handler runs on the connection's strand; writes from any thread are queued,
// encrypted in order, coalesced and sent one at a time. No call here blocks.
// Only the event-driven server includes this header (it brings in Asio).
#include <boost/asio/ip/tcp.hpp>
#include <exception>
#include <functional>
#include <memory>

#include "net/intercept.h"
#include "net/tls_engine.h"
#include "net/socket_transport.h"

namespace zor {

// A server-side connection driven by Asio, with an input buffer and queued writes.
class TzorAsyncConnection : public TzorSocketTransport, public std::enable_shared_from_this<TzorAsyncConnection> {
 public:
  using Socket = boost::asio::ip::tcp::socket;

  // What the connection reports to its owner.
  struct Handlers {
    // The connection is ready for application data (TLS handshake done).
    std::function<void(TzorAsyncConnection&)> OnReady;
    // The input buffer grew.
    std::function<void(TzorAsyncConnection&)> OnData;
    // Called once when the connection ends: null for an orderly end (the peer
    // closed, or Disconnect), otherwise the failure.
    std::function<void(TzorAsyncConnection&, std::exception_ptr)> OnClosed;
  };

  // Queued outgoing bytes beyond this make Write fail (a peer that does not read).
  static constexpr size_t kMaxQueuedBytes = 16 * 1024 * 1024;

  // `tls`: a server context (TLS starts at once), or nullptr for plain TCP.
  // `io_owner`: what the socket's io_context lives in, kept until the
  // connection goes, so a connection the application still holds never
  // outlives its event loop.
  static std::shared_ptr<TzorAsyncConnection> Create(Socket socket, std::shared_ptr<const TzorTLSContext> tls = nullptr,
                                                     std::shared_ptr<void> io_owner = nullptr);
  ~TzorAsyncConnection() override;

  // Intercepts are added before Start.
  void AddIntercept(std::shared_ptr<TzorConnectionIntercept> intercept);
  // Begins the handshake and reading. Every handler runs on the strand. A
  // socket that is not open ends at once with EzorClosedSocket, never ready.
  void Start(Handlers handlers);
  // Runs `work` on the connection's strand.
  void Dispatch(std::function<void()> work);
  // Calls `on_idle` on the strand when no bytes have arrived for `timeout_ms`
  // (counted again from each arrival); 0 switches it off.
  void SetIdleTimeout(int timeout_ms, std::function<void(TzorAsyncConnection&)> on_idle);
  // Runs `work` on the strand once, `timeout_ms` from now, unless the
  // connection has ended by then.
  void RunAfter(int timeout_ms, std::function<void()> work);

  // TzorTransport. WaitForData does not wait: it tells whether bytes are buffered.
  bool WaitForData(int timeout_ms) override;
  bool Connected() const override;
  // Sends what is queued (and a TLS close notification with `notify_peer`), then closes.
  // When the queue is full (the peer stopped reading) it closes at once, as Abort does.
  void Disconnect(bool notify_peer = true) override;
  // How long Disconnect waits for queued bytes to go out before it closes
  // anyway and reports EzorWriteTimeout; 0: no limit.
  static constexpr int kDefaultCloseTimeoutMs = 30000;
  void SetCloseTimeout(int timeout_ms);
  // Closes at once and drops whatever waits to be sent, the write in progress
  // included: the way out for a peer that stopped reading.
  void Abort();
  std::string NegotiatedALPN() const override;

  TzorTLSConnectionInfo TLSInfo() const;

 private:
  struct Impl;
  TzorAsyncConnection(Socket socket, std::shared_ptr<const TzorTLSContext> tls, std::shared_ptr<void> io_owner);
  // Declared first: it goes after the socket and timers of impl_.
  std::shared_ptr<void> io_owner_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zor
