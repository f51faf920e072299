// websocketpp's WebSocket echo server, the peer of the server load benchmark,
// on a pool of threads.
//   peer_wspp_echo <threads>   prints the port it listens on
// websocketpp still uses the Asio names that the rest of the project builds
// without; this program links nothing else, so it may use them.
#undef BOOST_ASIO_NO_DEPRECATED
#include <websocketpp/config/asio_no_tls.hpp>
#include <websocketpp/server.hpp>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using Server = websocketpp::server<websocketpp::config::asio>;

int main(int argc, char** argv) {
  const int threads = argc > 1 ? std::atoi(argv[1]) : 2;
  Server server;
  server.clear_access_channels(websocketpp::log::alevel::all);
  server.clear_error_channels(websocketpp::log::elevel::all);
  server.init_asio();
  server.set_reuse_addr(true);
  server.set_message_handler([&server](websocketpp::connection_hdl hdl, Server::message_ptr message) {
    websocketpp::lib::error_code ec;
    server.send(hdl, message->get_payload(), message->get_opcode(), ec);
  });
  server.set_tcp_post_init_handler([&server](websocketpp::connection_hdl hdl) {
    websocketpp::lib::asio::error_code ec;
    server.get_con_from_hdl(hdl)->get_raw_socket().set_option(websocketpp::lib::asio::ip::tcp::no_delay(true), ec);
  });
  server.listen(websocketpp::lib::asio::ip::tcp::endpoint(websocketpp::lib::asio::ip::make_address("127.0.0.1"), 0));
  server.start_accept();
  websocketpp::lib::asio::error_code ec;
  std::printf("%u\n", server.get_local_endpoint(ec).port());
  std::fflush(stdout);
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) pool.emplace_back([&server] { server.run(); });
  for (auto& t : pool) t.join();
}
