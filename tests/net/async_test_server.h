#pragma once
// An event-driven loopback server for tests, built on TzorAsyncConnection:
// one io_context on two threads, every accepted connection gets the handlers
// the test gives. The acceptor lives on a strand of its own: closing it from
// another thread while an accept completes would hand the accept handler a
// closed socket with a success code.
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "net/async_connection.h"

namespace zor::test {

class AsyncTestServer {
 public:
  using Setup = std::function<void(TzorAsyncConnection&, TzorAsyncConnection::Handlers&)>;

  AsyncTestServer(std::shared_ptr<const TzorTLSContext> tls, Setup setup)
      : tls_(std::move(tls)),
        setup_(std::move(setup)),
        acceptor_(accept_strand_, {boost::asio::ip::make_address("127.0.0.1"), 0}) {
    Accept();
    for (int i = 0; i < 2; ++i) threads_.emplace_back([this] { io_.run(); });
  }
  ~AsyncTestServer() {
    boost::asio::post(accept_strand_, [this] {
      boost::system::error_code ec;
      acceptor_.close(ec);
    });
    {
      std::lock_guard guard(lock_);
      for (auto& c : connections_) c->Disconnect(false);
    }
    work_.reset();
    for (auto& t : threads_) t.join();
  }
  uint16_t Port() const { return acceptor_.local_endpoint().port(); }

 private:
  void Accept() {
    acceptor_.async_accept(boost::asio::make_strand(io_), [this](const boost::system::error_code& ec,
                                                                 boost::asio::ip::tcp::socket socket) {
      if (ec) return;
      auto connection = TzorAsyncConnection::Create(std::move(socket), tls_);
      TzorAsyncConnection::Handlers handlers;
      setup_(*connection, handlers);
      {
        std::lock_guard guard(lock_);
        connections_.push_back(connection);
      }
      connection->Start(std::move(handlers));
      Accept();
    });
  }

  std::shared_ptr<const TzorTLSContext> tls_;
  Setup setup_;
  boost::asio::io_context io_;
  boost::asio::strand<boost::asio::io_context::executor_type> accept_strand_{io_.get_executor()};
  std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> work_{io_.get_executor()};
  boost::asio::ip::tcp::acceptor acceptor_;
  std::mutex lock_;
  std::vector<std::shared_ptr<TzorAsyncConnection>> connections_;
  std::vector<std::thread> threads_;
};

// Echoes every byte back.
inline void Echo(TzorAsyncConnection&, TzorAsyncConnection::Handlers& h) {
  h.OnData = [](TzorAsyncConnection& c) {
    std::string data;
    c.ReadFromBuffer(data, SIZE_MAX);
    c.Write(data);
  };
}

}  // namespace zor::test
