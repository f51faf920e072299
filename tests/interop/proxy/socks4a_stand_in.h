#pragma once
// A minimal SOCKS 4A proxy for the one case the installed proxies lack: it
// reads the request, resolves the host name itself, connects, answers 90
// and relays both ways. One client at a time; enough for a test.
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <atomic>
#include <string>
#include <thread>

namespace zor::test {

class Socks4AStandIn {
 public:
  Socks4AStandIn() : acceptor_(io_, {boost::asio::ip::make_address("127.0.0.1"), 0}) {
    thread_ = std::thread([this] { Serve(); });
  }
  ~Socks4AStandIn() {
    stopping_ = true;
    boost::system::error_code ec;
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket wake(io);
    wake.connect(acceptor_.local_endpoint(), ec);
    thread_.join();
  }
  uint16_t Port() const { return acceptor_.local_endpoint().port(); }
  // The user id and host name of the last request.
  std::string LastUser() const { return last_user_; }
  std::string LastHost() const { return last_host_; }

 private:
  using tcp = boost::asio::ip::tcp;

  void Serve() {
    while (!stopping_) {
      tcp::socket client(io_);
      boost::system::error_code ec;
      acceptor_.accept(client, ec);
      if (ec || stopping_) return;
      Handle(client);
    }
  }

  void Handle(tcp::socket& client) {
    boost::system::error_code ec;
    unsigned char head[8];
    if (boost::asio::read(client, boost::asio::buffer(head), ec) != 8 || head[0] != 4 || head[1] != 1) return;
    const uint16_t port = static_cast<uint16_t>(head[2] << 8 | head[3]);
    std::string rest;
    auto read_text = [&](std::string& out) {
      const size_t n = boost::asio::read_until(client, boost::asio::dynamic_buffer(rest), '\0', ec);
      if (ec) return false;
      out = rest.substr(0, n - 1);
      rest.erase(0, n);
      return true;
    };
    std::string user, host;
    if (!read_text(user)) return;
    const bool named = head[4] == 0 && head[5] == 0 && head[6] == 0 && head[7] != 0;
    if (!named || !read_text(host)) return;
    last_user_ = user;
    last_host_ = host;
    tcp::resolver resolver(io_);
    tcp::socket target(io_);
    boost::asio::connect(target, resolver.resolve(tcp::v4(), host, std::to_string(port), ec), ec);
    const unsigned char answer[8] = {0, static_cast<unsigned char>(ec ? 91 : 90), 0, 0, 0, 0, 0, 0};
    boost::asio::write(client, boost::asio::buffer(answer), ec);
    if (answer[1] != 90) return;
    std::thread upstream([&] { Relay(client, target); });
    Relay(target, client);
    upstream.join();
  }

  static void Relay(tcp::socket& from, tcp::socket& to) {
    char buffer[16384];
    boost::system::error_code ec;
    for (;;) {
      const size_t n = from.read_some(boost::asio::buffer(buffer), ec);
      if (ec) break;
      boost::asio::write(to, boost::asio::buffer(buffer, n), ec);
      if (ec) break;
    }
    to.shutdown(tcp::socket::shutdown_send, ec);
  }

  boost::asio::io_context io_;
  tcp::acceptor acceptor_;
  std::atomic<bool> stopping_{false};
  std::string last_user_, last_host_;
  std::thread thread_;
};

}  // namespace zor::test
