#pragma once
// Splitting URLs and WebSocket endpoints.
#include <string>
#include <string_view>

namespace zor {

// The parts of a URL.
struct TzorURLParts {
  std::string protocol;  // "https"
  std::string host;      // "example.com" (IPv6 without brackets)
  std::string port;      // "8443", empty when absent
  std::string path;      // "/a/b/doc.html": the path followed by the document name
  std::string query;     // the part after "?", without the fragment
};

// Lenient: every input gives a result; absent parts are empty.
TzorURLParts ParseURL(std::string_view url);

// "wss://host:443" -> tls true, host "host", port 443. Only when the value has
// exactly three ":"-separated parts; otherwise false and nothing is set.
// A non-numeric port raises EConvertError.
bool SplitWSEndpoint(std::string_view value, bool& tls, std::string& host, int& port);

}  // namespace zor
