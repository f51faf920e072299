// Boost.Beast's WebSocket echo server, the peer of the server load benchmark:
// asynchronous, one strand per connection, on a pool of threads.
//   peer_beast_echo <threads>   prints the port it listens on
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <memory>

#include "bench/server/beast_peer.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

class Session : public std::enable_shared_from_this<Session> {
 public:
  explicit Session(tcp::socket socket) : ws_(std::move(socket)) {}
  void Start() {
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.async_accept([self = shared_from_this()](beast::error_code ec) {
      if (!ec) self->Read();
    });
  }

 private:
  void Read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return;
      self->ws_.text(self->ws_.got_text());
      self->ws_.async_write(self->buffer_.data(), [self](beast::error_code e, std::size_t) {
        if (e) return;
        self->buffer_.consume(self->buffer_.size());
        self->Read();
      });
    });
  }
  websocket::stream<beast::tcp_stream> ws_;
  beast::flat_buffer buffer_;
};

int main(int argc, char** argv) { return zor::bench::ServeBeastPeer<Session>(argc, argv); }
