#pragma once
// What a WebSocket client's URL sets: ws and wss (and any other scheme, such
// as http and https) mean WebSocket, tcp and tcps plain TCP; wss and tcps
// mean TLS.
#include <string>
#include <string_view>

namespace zor {

// A client URL taken apart: TLS or not, host, port, path and query.
struct TzorWSClientAddress {
  std::string Host;  // IPv6 literals without brackets
  int Port = 80;     // the URL's port, or 443 with TLS and 80 without
  bool TLS = false;
  bool RFC6455 = true;     // false: plain TCP, no handshake
  std::string Parameters;  // path, and "?" + query when there is one, as written in the URL
};

// Raises TzorWSException "Invalid URL: <url>" when the text is no absolute
// URL with a host, or its port is not a number from 1 to 65535.
TzorWSClientAddress ParseWSClientURL(std::string_view url);

}  // namespace zor
