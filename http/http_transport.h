#pragma once
// What the HTTP client needs of a connection: a connected byte stream, and
// where to open one.
#include <cstdint>
#include <string>
#include <string_view>

namespace zor {

// What the HTTP client needs of a connection: a connected byte stream.
class TzorHTTPStream {
 public:
  virtual ~TzorHTTPStream() = default;
  // Sends every byte or raises.
  virtual void Write(std::string_view bytes) = 0;
  // Waits (up to the read time-out) for bytes and returns how many it stored;
  // 0 once the peer has closed. Raises on failure and time-out.
  virtual size_t Read(char* buffer, size_t size) = 0;
};

// Where an HTTP request goes: host, port, TLS, and where the socket connects.
struct TzorHTTPEndpoint {
  std::string host;  // from the URL: Host line and TLS server name
  uint16_t port = 0;
  bool tls = false;
  std::string connect_host;  // where the socket goes (a connect-to rule may change it)
  uint16_t connect_port = 0;

  bool operator==(const TzorHTTPEndpoint&) const = default;
};

// Sends requests for host:port to another address, leaving URL, Host line
// and TLS server name unchanged. An empty host or a port of 0 matches any.
struct TzorConnectTo {
  std::string host;
  uint16_t port = 0;
  std::string to_host;
  uint16_t to_port = 0;
};

}  // namespace zor
