#pragma once
// A one-connection TCP peer on a free loopback port for tests: accepts one
// connection on its own thread and hands the socket to a script.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace zor::test {

class LoopbackPeer {
 public:
  using Socket = boost::asio::ip::tcp::socket;
  using Script = std::function<void(Socket&)>;

  explicit LoopbackPeer(Script script, bool ipv6 = false)
      : acceptor_(io_, {ipv6 ? boost::asio::ip::make_address("::1") : boost::asio::ip::make_address("127.0.0.1"), 0}) {
    thread_ = std::thread([this, script = std::move(script)] {
      Socket socket(io_);
      boost::system::error_code ec;
      acceptor_.accept(socket, ec);
      accepted_ = true;
      if (!ec) script(socket);
    });
  }
  ~LoopbackPeer() {
    if (!accepted_) {
      // Nobody came: a connection of our own ends the wait for one.
      boost::system::error_code ec;
      boost::asio::io_context io;
      Socket wake(io);
      wake.connect(acceptor_.local_endpoint(), ec);
      wake.close(ec);
    }
    if (thread_.joinable()) thread_.join();
  }
  uint16_t Port() const { return acceptor_.local_endpoint().port(); }

  static std::string ReadExactly(Socket& socket, size_t count) {
    std::string data(count, '\0');
    boost::system::error_code ec;
    const size_t n = boost::asio::read(socket, boost::asio::buffer(data), ec);
    data.resize(n);
    return data;
  }
  static void WriteAll(Socket& socket, const std::string& data) {
    boost::system::error_code ec;
    boost::asio::write(socket, boost::asio::buffer(data), ec);
  }

 private:
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::atomic<bool> accepted_{false};
  std::thread thread_;
};

}  // namespace zor::test
