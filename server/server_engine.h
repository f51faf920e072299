#pragma once
// The event-driven engine under the server: one io_context run by a pool of
// worker threads, listeners, and one TzorAsyncConnection (with its strand)
// per accepted socket. No thread per socket; every handler runs on its
// connection's strand.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/async_connection.h"

namespace zor {

// The event-driven engine under the server: an io_context, its worker threads and the listeners.
class TzorServerEngine {
 public:
  // Fills the handlers of a newly accepted connection, before it starts.
  using AcceptHandler = std::function<void(TzorAsyncConnection&, TzorAsyncConnection::Handlers&)>;

  // `threads` 0: one per processor.
  explicit TzorServerEngine(unsigned threads = 0);
  // Stops first.
  ~TzorServerEngine();
  TzorServerEngine(const TzorServerEngine&) = delete;
  TzorServerEngine& operator=(const TzorServerEngine&) = delete;

  // Binds and listens; returns the port (0 asks for a free one). With `tls`
  // every accepted socket starts with the TLS handshake.
  uint16_t Listen(const std::string& address, uint16_t port, std::shared_ptr<const TzorTLSContext> tls,
                  AcceptHandler onAccept);
  // Closes the listeners and every connection, then joins the workers.
  void Stop();
  size_t ConnectionCount() const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace zor
