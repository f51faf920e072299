#include "net/socket_endpoints.h"

namespace zor {

TzorSocketEndpoints ReadSocketEndpoints(const boost::asio::ip::tcp::socket& socket) {
  TzorSocketEndpoints ends;
  boost::system::error_code ec;
  const auto remote = socket.remote_endpoint(ec);
  if (!ec) {
    ends.PeerIP = remote.address().to_string();
    ends.PeerPort = remote.port();
  }
  const auto local = socket.local_endpoint(ec);
  if (!ec) {
    ends.LocalIP = local.address().to_string();
    ends.LocalPort = local.port();
  }
  return ends;
}

}  // namespace zor
