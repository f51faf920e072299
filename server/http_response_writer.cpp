#include "server/http_response_writer.h"

#include <boost/beast/http/status.hpp>

#include "server/server_options.h"
#include "websocket/ws_types.h"

namespace zor {

namespace {

void AddLine(std::string& head, std::string_view name, std::string_view value) {
  if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos ||
      value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
    throw TzorWSException("Invalid character in an answer line");
  head.append(name);
  head.append(": ");
  head.append(value);
  head.append("\r\n");
}

bool CarriesNoContent(int code) { return (code >= 100 && code < 200) || code == 204 || code == 304; }

}  // namespace

std::string StatusText(int code) {
  namespace http = boost::beast::http;
  if (code < 100 || code > 999) return "Unknown Status";
  const auto reason = http::obsolete_reason(http::int_to_status(static_cast<unsigned>(code)));
  return reason.empty() || reason == "<unknown-status>" ? std::string("Unknown Status") : std::string(reason);
}

std::string HTTPResponseBytes(const TzorHTTPServerResponse& response, bool headRequest, bool keepAlive) {
  const int code = response.ResponseNo;
  const std::string text = response.ResponseText.empty() ? StatusText(code) : response.ResponseText;
  if (code < 100 || code > 999 || text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
    throw TzorWSException("Invalid status of an answer");
  std::string bytes = "HTTP/1.1 " + std::to_string(code) + " " + text + "\r\n";
  AddLine(bytes, "Connection", keepAlive && !response.CloseConnection ? "keep-alive" : "close");
  const bool noContent = CarriesNoContent(code);
  if (!noContent) {
    if (!response.ContentText.empty() || !response.ContentType.empty())
      AddLine(bytes, "Content-Type", response.ContentTypeValue());
    AddLine(bytes, "Content-Length", std::to_string(response.ContentText.size()));
  }
  for (const TzorHTTPCookie& cookie : response.Cookies) AddLine(bytes, "Set-Cookie", cookie.SetCookieValue());
  for (const std::string& line : response.CustomHeaders) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) throw TzorWSException("Invalid character in an answer line");
    const size_t value = line.find_first_not_of(' ', colon + 1);
    AddLine(bytes, std::string_view(line).substr(0, colon),
            value == std::string::npos ? std::string_view() : std::string_view(line).substr(value));
  }
  AddLine(bytes, "Server", kServerSoftware);
  bytes.append("\r\n");
  if (!headRequest && !noContent) bytes.append(response.ContentText);
  return bytes;
}

}  // namespace zor
