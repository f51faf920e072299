#include "websocket/client_url.h"

#include <charconv>

#include <boost/url/parse.hpp>
#include <boost/url/url_view.hpp>

#include "websocket/ws_types.h"

namespace zor {

namespace {

bool PortNumber(std::string_view text, int& port) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  return ec == std::errc() && end == text.data() + text.size() && port > 0 && port <= 65535;
}

}  // namespace

TzorWSClientAddress ParseWSClientURL(std::string_view url) {
  const auto parsed = boost::urls::parse_uri(url);
  int port = 0;
  if (!parsed || !parsed->has_authority() || parsed->host_address().empty() ||
      (!parsed->port().empty() && !PortNumber(parsed->port(), port)) ||
      // After an authority a path starts with "/"; Boost 1.81 reads "h:x/" as host h and path "x/".
      (!parsed->encoded_path().empty() && !parsed->encoded_path().starts_with("/")))
    throw TzorWSException("Invalid URL: " + std::string(url));
  const boost::urls::url_view& u = *parsed;
  TzorWSClientAddress address;
  address.Host = u.host_address();
  const std::string_view scheme = u.scheme();
  address.TLS = scheme == "wss" || scheme == "tcps";
  address.RFC6455 = scheme != "tcp" && scheme != "tcps";
  address.Port = port != 0 ? port : (address.TLS ? 443 : 80);
  address.Parameters = u.encoded_path();
  if (!u.encoded_query().empty()) {
    if (!address.Parameters.starts_with("/")) address.Parameters.insert(0, "/");
    address.Parameters += "?" + std::string(u.encoded_query());
  }
  return address;
}

}  // namespace zor
