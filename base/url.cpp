#include "base/url.h"

#include "base/exceptions.h"
#include "base/format.h"
#include "base/markup.h"
#include "base/string_list.h"

#include <algorithm>
#include <charconv>

namespace zor {

namespace {

// The one decoder behind both entry points: false only when `strict` and an
// escape is bad.
bool Decode(std::string_view text, bool plusIsSpace, bool strict, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const int high = c == '%' && i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
    const int low = high >= 0 && i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
    if (low >= 0) {
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (c == '%' && strict) {
      out.clear();
      return false;
    } else {
      out.push_back(plusIsSpace && c == '+' ? ' ' : c);
    }
  }
  return true;
}

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

}  // namespace

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

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
  // Most texts hold nothing to decode.
  if (text.find('%') == std::string_view::npos && (!plusIsSpace || text.find('+') == std::string_view::npos))
    return std::string(text);
  std::string out;
  Decode(text, plusIsSpace, false, out);
  return out;
}

bool PercentDecodeStrict(std::string_view text, bool plusIsSpace, std::string& out) {
  return Decode(text, plusIsSpace, true, out);
}

std::string PercentEncode(std::string_view text, bool spaceAsPlus) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (Unreserved(byte)) {
      out.push_back(c);
    } else if (byte == ' ' && spaceAsPlus) {
      out.push_back('+');
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    }
  }
  return out;
}

}  // namespace zor
