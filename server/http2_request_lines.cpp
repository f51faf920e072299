#include "server/http2_request_lines.h"

#include "base/text.h"

namespace zor {

namespace {

std::string Field(const TzorHTTP2_HeaderList& headers, std::string_view name) {
  return std::string(headers.Find(name).value_or(""));
}

std::string RequestLine(const TzorHTTP2_HeaderList& headers, std::string_view method) {
  const std::string_view path = headers.Find(":path").value_or("");
  std::string line;
  line.reserve(method.size() + path.size() + 8);
  return line.append(method).append(" ").append(path).append(" HTTP/2");
}

std::vector<std::string> Lines(const TzorHTTP2_HeaderList& headers, std::string_view method,
                               std::vector<std::string> extra) {
  std::vector<std::string> lines{RequestLine(headers, method)};
  if (const auto authority = headers.Find(":authority")) lines.push_back("Host: " + std::string(*authority));
  for (std::string& line : extra) lines.push_back(std::move(line));
  for (size_t i = 0; i < headers.Count(); ++i) {
    const std::string_view name = headers.Name(i);
    if (name.empty() || name.front() == ':') continue;
    lines.push_back(std::string(name) + ": " + std::string(headers.Value(i)));
  }
  return lines;
}

}  // namespace

std::string HTTP2RequestLine(const TzorHTTP2_HeaderList& headers) {
  return RequestLine(headers, headers.Find(":method").value_or(""));
}

std::vector<std::string> HTTP2RequestLines(const TzorHTTP2_HeaderList& headers) {
  return Lines(headers, headers.Find(":method").value_or(""), {});
}

bool IsWebSocketConnect(const TzorHTTP2_HeaderList& headers) {
  return headers.Find(":method") == "CONNECT" && SameText(Field(headers, ":protocol"), "websocket");
}

std::vector<std::string> WebSocketConnectLines(const TzorHTTP2_HeaderList& headers) {
  return Lines(headers, "GET", {"Upgrade: websocket", "Connection: Upgrade"});
}

}  // namespace zor
