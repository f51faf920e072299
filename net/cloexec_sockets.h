#pragma once
// Sockets that a child process the application starts (a browser, a helper,
// a peer) never inherits. Asio creates its sockets with socket() and accept()
// and no SOCK_CLOEXEC; these create them with the flag in the same call, so a
// fork on another thread cannot come in between. Includes Asio: for .cpp
// files only.
#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <functional>

namespace zor {

// Opens the closed `socket` for `protocol`, close-on-exec.
void OpenCloseOnExec(boost::asio::ip::tcp::socket& socket, const boost::asio::ip::tcp& protocol,
                     boost::system::error_code& ec);

// Opens the closed `acceptor` close-on-exec and non-blocking, reusing the
// address (IPv6 only for an IPv6 address), binds it to `endpoint` and listens.
void ListenCloseOnExec(boost::asio::ip::tcp::acceptor& acceptor, const boost::asio::ip::tcp::endpoint& endpoint,
                       boost::system::error_code& ec);

// Waits on the acceptor's executor for the next connection and accepts it
// close-on-exec; the socket is bound to `executor`. The handler gets
// operation_aborted once the acceptor closes, and other accept failures
// (out of descriptors) as they come; a connection that went away before it
// was taken is skipped. The acceptor must outlive the wait.
using TzorAcceptHandler = std::function<void(const boost::system::error_code&, boost::asio::ip::tcp::socket)>;
void AsyncAcceptCloseOnExec(boost::asio::ip::tcp::acceptor& acceptor, const boost::asio::any_io_executor& executor,
                            TzorAcceptHandler handler);

}  // namespace zor
