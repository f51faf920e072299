#include "server/http_answers.h"

#include "base/format.h"
#include "net/transport.h"
#include "server/server_options.h"
#include "websocket/ws_types.h"

namespace zor {

namespace {

// A line end inside a value would let it add lines of its own to the answer.
void AddLine(std::string& head, std::string_view line) {
  if (line.find_first_of("\r\n", 0) != std::string_view::npos || line.find('\0') != std::string_view::npos)
    throw TzorWSException("Invalid character in an answer line");
  head.append(line);
  head.append("\r\n");
}

void AddLines(std::string& head, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) AddLine(head, line);
}

void AddServerLineAndEnd(std::string& head) {
  AddLine(head, std::string("Server: ") + kServerSoftware);
  head.append("\r\n");
}

void WriteOnce(TzorTransport& transport, std::string_view head, std::string_view body) {
  TzorWriteBufferScope scope(transport);
  transport.Write(head);
  if (!body.empty()) transport.Write(body);
  scope.End();
}

}  // namespace

std::string HTTPResponseStreamHead(std::string_view contentType, std::string_view altSvc,
                                   const std::vector<std::string>& headers) {
  std::string head;
  AddLine(head, "HTTP/1.1 200 OK");
  AddLine(head, "Cache-Control: no-cache");
  AddLine(head, "Content-Type: " + std::string(contentType));
  if (!altSvc.empty()) AddLine(head, altSvc);
  AddLines(head, headers);
  AddServerLineAndEnd(head);
  return head;
}

std::string HTTPStatusHead(int code, std::string_view text, const std::vector<std::string>& headers) {
  std::string head;
  AddLine(head, Format("HTTP/1.1 %d %s", code, std::string(text).c_str()));
  AddLines(head, headers);
  return head + "\r\n";
}

std::string HTTPRedirectHead(std::string_view url, const std::vector<std::string>& headers) {
  std::string head;
  AddLine(head, "HTTP/1.1 302 Moved Temporarily");
  AddLine(head, "Connection: close");
  AddLine(head, "Location: " + std::string(url));
  AddLines(head, headers);
  AddServerLineAndEnd(head);
  return head;
}

void WriteHTTPResponseStream(TzorTransport& transport, std::string_view body, std::string_view contentType,
                             std::string_view altSvc, const std::vector<std::string>& headers) {
  WriteOnce(transport, HTTPResponseStreamHead(contentType, altSvc, headers), body);
}

void WriteHTTPStatus(TzorTransport& transport, int code, std::string_view text,
                     const std::vector<std::string>& headers) {
  WriteOnce(transport, HTTPStatusHead(code, text, headers), {});
}

void WriteHTTPRedirect(TzorTransport& transport, std::string_view url, const std::vector<std::string>& headers) {
  WriteOnce(transport, HTTPRedirectHead(url, headers), {});
}

}  // namespace zor
