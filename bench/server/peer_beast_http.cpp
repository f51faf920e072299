// Boost.Beast's asynchronous HTTP server, the peer of the HTTP benchmark:
// one strand per connection on a pool of threads, keep-alive, every request
// answered with the same small text as the benchmark's zor server.
//   peer_beast_http <threads>   prints the port it listens on
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <memory>

#include "bench/server/beast_peer.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

class Session : public std::enable_shared_from_this<Session> {
 public:
  explicit Session(tcp::socket socket) : stream_(std::move(socket)) {}
  void Start() { Read(); }

 private:
  void Read() {
    request_ = {};
    stream_.expires_after(std::chrono::seconds(30));
    http::async_read(stream_, buffer_, request_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      if (!ec) self->Answer();
    });
  }

  void Answer() {
    response_ = {};
    response_.version(request_.version());
    response_.result(http::status::ok);
    response_.set(http::field::server, "peer");
    response_.set(http::field::content_type, "text/plain");
    response_.keep_alive(request_.keep_alive());
    response_.body() = "Hello, World!";
    response_.prepare_payload();
    http::async_write(stream_, response_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return;
      if (self->response_.keep_alive()) self->Read();
      else self->stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    });
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  http::request<http::string_body> request_;
  http::response<http::string_body> response_;
};

int main(int argc, char** argv) { return zor::bench::ServeBeastPeer<Session>(argc, argv); }
