#include "net/cloexec_sockets.h"

#include <sys/socket.h>
#include <unistd.h>

#include <boost/asio/ip/v6_only.hpp>
#include <cerrno>

namespace zor {

namespace asio = boost::asio;
using asio::ip::tcp;
using boost::system::error_code;

namespace {

error_code SystemError(int error) { return {error, boost::system::system_category()}; }

// A new descriptor handed to an Asio socket or acceptor, or closed when it
// will not take it.
template <class Socket>
void Adopt(Socket& socket, const tcp& protocol, int fd, error_code& ec) {
  socket.assign(protocol, fd, ec);
  if (ec) ::close(fd);
}

template <class Socket>
void Open(Socket& socket, const tcp& protocol, error_code& ec) {
  const int fd = ::socket(protocol.family(), SOCK_STREAM | SOCK_CLOEXEC, protocol.protocol());
  if (fd < 0) {
    ec = SystemError(errno);
    return;
  }
  Adopt(socket, protocol, fd, ec);
}

// Failures of one connection, not of the listener: the next is waited for.
bool Transient(int error) {
  return error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNABORTED || error == EPROTO;
}

// The acceptor is readable: takes the connection waiting there.
void AcceptReady(tcp::acceptor& acceptor, const asio::any_io_executor& executor, TzorAcceptHandler& handler) {
  tcp::socket socket(executor);
  const int fd = ::accept4(acceptor.native_handle(), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (Transient(error)) return AsyncAcceptCloseOnExec(acceptor, executor, std::move(handler));
    return handler(SystemError(error), std::move(socket));
  }
  error_code ec;
  const tcp::endpoint listening = acceptor.local_endpoint(ec);
  if (ec) ::close(fd);
  if (!ec) Adopt(socket, listening.protocol(), fd, ec);
  handler(ec, std::move(socket));
}

}  // namespace

void OpenCloseOnExec(tcp::socket& socket, const tcp& protocol, error_code& ec) { Open(socket, protocol, ec); }

void ListenCloseOnExec(tcp::acceptor& acceptor, const tcp::endpoint& endpoint, error_code& ec) {
  Open(acceptor, endpoint.protocol(), ec);
  // Non-blocking: a connection gone between readiness and accept must not
  // hold the thread that accepts.
  if (!ec) acceptor.non_blocking(true, ec);
  if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec && endpoint.address().is_v6()) acceptor.set_option(asio::ip::v6_only(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
}

void AsyncAcceptCloseOnExec(tcp::acceptor& acceptor, const asio::any_io_executor& executor, TzorAcceptHandler handler) {
  auto ready = [&acceptor, executor, handler = std::move(handler)](const error_code& waited) mutable {
    if (waited) return handler(waited, tcp::socket(executor));
    AcceptReady(acceptor, executor, handler);
  };
  acceptor.async_wait(tcp::acceptor::wait_read, std::move(ready));
}

}  // namespace zor
