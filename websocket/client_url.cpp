#include "websocket/client_url.h"

#include <boost/url/parse.hpp>
#include <boost/url/url_view.hpp>

#include "websocket/ws_types.h"

namespace zor {

TzorWSClientAddress ParseWSClientURL(std::string_view url) {
  const auto parsed = boost::urls::parse_uri(url);
  // A port of 0 or beyond 65535 reads as 0.
  if (!parsed || !parsed->has_authority() || parsed->host_address().empty() ||
      (!parsed->port().empty() && parsed->port_number() == 0))
    throw TzorWSException("Invalid URL: " + std::string(url));
  const boost::urls::url_view& u = *parsed;
  TzorWSClientAddress address;
  address.Host = u.host_address();
  const std::string_view scheme = u.scheme();
  address.TLS = scheme == "wss" || scheme == "tcps";
  address.RFC6455 = scheme != "tcp" && scheme != "tcps";
  address.Port = !u.port().empty() ? u.port_number() : (address.TLS ? 443 : 80);
  address.Parameters = u.encoded_path();
  if (!u.encoded_query().empty()) {
    if (!address.Parameters.starts_with("/")) address.Parameters.insert(0, "/");
    address.Parameters += "?" + std::string(u.encoded_query());
  }
  return address;
}

}  // namespace zor
