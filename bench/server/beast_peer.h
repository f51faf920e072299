#pragma once
// The frame of the Boost.Beast peers of the server benchmarks: an acceptor on
// a loopback port it prints, each accepted socket a Session (constructed from
// the socket, started with Start()) on a strand of its own, and a pool of
// threads running them.
//   <peer> <threads>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace zor::bench {

template <class Session>
void AcceptSessions(boost::asio::io_context& io, boost::asio::ip::tcp::acceptor& acceptor) {
  using tcp = boost::asio::ip::tcp;
  acceptor.async_accept(boost::asio::make_strand(io), [&io, &acceptor](boost::system::error_code ec, tcp::socket socket) {
    if (!ec) {
      socket.set_option(tcp::no_delay(true), ec);
      std::make_shared<Session>(std::move(socket))->Start();
    }
    AcceptSessions<Session>(io, acceptor);
  });
}

template <class Session>
int ServeBeastPeer(int argc, char** argv) {
  const int threads = argc > 1 ? std::atoi(argv[1]) : 2;
  boost::asio::io_context io(threads);
  boost::asio::ip::tcp::acceptor acceptor(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
  std::printf("%u\n", acceptor.local_endpoint().port());
  std::fflush(stdout);
  AcceptSessions<Session>(io, acceptor);
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) pool.emplace_back([&io] { io.run(); });
  for (auto& t : pool) t.join();
  return 0;
}

}  // namespace zor::bench
