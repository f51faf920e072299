#include "base/url.h"

#include "base/exceptions.h"
#include "base/format.h"
#include "base/string_list.h"

#include <algorithm>
#include <charconv>

namespace zor {

TzorURLParts ParseURL(std::string_view url) {
  TzorURLParts parts;
  url = url.substr(0, url.find('#'));
  if (const size_t scheme = url.find("://"); scheme != std::string_view::npos) {
    parts.protocol = url.substr(0, scheme);
    url.remove_prefix(scheme + 3);
    const size_t authority_end = url.find_first_of("/?");
    std::string_view authority = url.substr(0, authority_end);
    url.remove_prefix(authority.size());
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    size_t colon = authority.rfind(':');
    if (!authority.empty() && authority[0] == '[') {
      const size_t close = authority.find(']');
      if (close != std::string_view::npos) {
        parts.host = authority.substr(1, close - 1);
        if (close + 1 < authority.size() && authority[close + 1] == ':') parts.port = authority.substr(close + 2);
        authority = {};
      }
    }
    if (!authority.empty()) {
      parts.host = authority.substr(0, colon);
      if (colon != std::string_view::npos) parts.port = authority.substr(colon + 1);
    }
  }
  const size_t question = url.find('?');
  parts.path = url.substr(0, question);
  if (question != std::string_view::npos) parts.query = url.substr(question + 1);
  return parts;
}

bool SplitWSEndpoint(std::string_view value, bool& tls, std::string& host, int& port) {
  TzorDelimitedStringList list;
  list.SetDelimiter(':');
  list.SetDelimitedText(value);
  if (list.Count() != 3) return false;
  std::string scheme = list[0];
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::toupper(c); });
  const std::string& port_text = list[2];
  int parsed = 0;
  const auto [end, ec] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), parsed);
  if (port_text.empty() || ec != std::errc() || end != port_text.data() + port_text.size()) {
    throw EConvertError(Format("'%s' is not a valid integer value", port_text.c_str()));
  }
  tls = scheme == "WSS";
  host = list[1];
  host.erase(std::remove(host.begin(), host.end(), '/'), host.end());
  port = parsed;
  return true;
}

}  // namespace zor
