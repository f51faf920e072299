#include "server/server_engine.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/format.h"
#include "net/cloexec_sockets.h"
#include "net/net_errors.h"

namespace zor {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

namespace {
// After a failed accept (out of descriptors, most often) the listener pauses
// instead of spinning on the same error.
constexpr auto kAcceptRetryPause = std::chrono::milliseconds(50);
}  // namespace

struct TzorServerEngine::Impl : std::enable_shared_from_this<Impl> {
  // Everything that touches the acceptor (waits, accepts, the close at
  // Stop) runs on its strand, so that no accept meets a closing descriptor.
  struct Listener {
    explicit Listener(asio::io_context& io) : acceptor(asio::make_strand(io)), retry(acceptor.get_executor()) {}
    tcp::acceptor acceptor;
    asio::steady_timer retry;
    std::shared_ptr<const TzorTLSContext> tls;
    AcceptHandler onAccept;
  };

  asio::io_context io;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work{io.get_executor()};
  std::vector<std::thread> workers;
  std::vector<std::shared_ptr<Listener>> listeners;
  mutable std::mutex lock;
  std::unordered_map<TzorAsyncConnection*, std::shared_ptr<TzorAsyncConnection>> connections;
  bool stopped = false;

  void Accept(const std::shared_ptr<Listener>& listener) {
    // The connection puts its socket on a strand of its own.
    AsyncAcceptCloseOnExec(
        listener->acceptor, io.get_executor(),
        [self = shared_from_this(), listener](const error_code& ec, tcp::socket socket) {
          if (ec == asio::error::operation_aborted || !listener->acceptor.is_open()) return;
          if (ec) {
            listener->retry.expires_after(kAcceptRetryPause);
            listener->retry.async_wait([self, listener](const error_code& e) {
              if (!e) self->Accept(listener);
            });
            return;
          }
          self->Adopt(*listener, std::move(socket));
          self->Accept(listener);
        });
  }

  void Adopt(Listener& listener, tcp::socket socket) {
    error_code ec;
    socket.set_option(tcp::no_delay(true), ec);
    auto connection = TzorAsyncConnection::Create(std::move(socket), listener.tls, shared_from_this());
    TzorAsyncConnection::Handlers handlers;
    listener.onAccept(*connection, handlers);
    // The engine lets go of a connection when it ends.
    handlers.OnClosed = [weak = weak_from_this(), closed = std::move(handlers.OnClosed)](
                            TzorAsyncConnection& c, std::exception_ptr failure) {
      if (closed) closed(c, failure);
      if (auto self = weak.lock()) {
        std::lock_guard guard(self->lock);
        self->connections.erase(&c);
      }
    };
    {
      std::lock_guard guard(lock);
      if (stopped) return connection->Abort();
      connections.emplace(connection.get(), connection);
    }
    connection->Start(std::move(handlers));
  }
};

TzorServerEngine::TzorServerEngine(unsigned threads) : impl_(std::make_shared<Impl>()) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < threads; ++i) impl_->workers.emplace_back([impl = impl_.get()] { impl->io.run(); });
}

TzorServerEngine::~TzorServerEngine() { Stop(); }

uint16_t TzorServerEngine::Listen(const std::string& address, uint16_t port, std::shared_ptr<const TzorTLSContext> tls,
                                  AcceptHandler onAccept) {
  auto listener = std::make_shared<Impl::Listener>(impl_->io);
  listener->tls = std::move(tls);
  listener->onAccept = std::move(onAccept);
  error_code ec;
  const tcp::endpoint endpoint(asio::ip::make_address(address, ec), port);
  if (ec) throw EzorSocketError(Format("Invalid listening address %s", address.c_str()), ec.value());
  auto& acceptor = listener->acceptor;
  ListenCloseOnExec(acceptor, endpoint, ec);
  if (ec)
    throw EzorSocketError(Format("Could not bind socket. Address and port are already in use. (%s:%d: %s)",
                                 address.c_str(), port, ec.message().c_str()),
                          ec.value());
  const uint16_t bound = acceptor.local_endpoint().port();
  {
    std::lock_guard guard(impl_->lock);
    impl_->listeners.push_back(listener);
  }
  asio::post(listener->acceptor.get_executor(), [impl = impl_, listener] { impl->Accept(listener); });
  return bound;
}

void TzorServerEngine::Stop() {
  std::vector<std::shared_ptr<TzorAsyncConnection>> open;
  std::vector<std::shared_ptr<Impl::Listener>> listeners;
  {
    std::lock_guard guard(impl_->lock);
    if (impl_->stopped) return;
    impl_->stopped = true;
    listeners.swap(impl_->listeners);
    for (auto& [raw, connection] : impl_->connections) open.push_back(connection);
  }
  for (auto& listener : listeners)
    asio::post(listener->acceptor.get_executor(), [listener] {
      error_code ec;
      listener->acceptor.close(ec);
      listener->retry.cancel();
    });
  for (auto& connection : open) connection->Abort();
  impl_->work.reset();
  for (auto& worker : impl_->workers)
    if (worker.joinable()) worker.join();
  std::lock_guard guard(impl_->lock);
  impl_->connections.clear();
}

size_t TzorServerEngine::ConnectionCount() const {
  std::lock_guard guard(impl_->lock);
  return impl_->connections.size();
}

}  // namespace zor
