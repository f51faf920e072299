#pragma once
// The two ends of a connected socket, read once while it is open so that they
// can still be told after it closed. Only net/ sources include this (Asio).
#include <boost/asio/ip/tcp.hpp>
#include <cstdint>
#include <string>

namespace zor {

struct TzorSocketEndpoints {
  std::string PeerIP, LocalIP;
  uint16_t PeerPort = 0, LocalPort = 0;
};

// Ends that cannot be read (the socket is not connected) stay empty.
TzorSocketEndpoints ReadSocketEndpoints(const boost::asio::ip::tcp::socket& socket);

}  // namespace zor
