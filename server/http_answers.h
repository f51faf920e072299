#pragma once
// The server's fixed HTTP/1.1 answers as bytes, and their writers on a
// transport: each answer goes out in one buffered write.
#include <string>
#include <string_view>
#include <vector>

namespace zor {

class TzorTransport;

// "HTTP/1.1 200 OK", no-cache, the type, the Alt-Svc line when set, the extra
// lines and the server line; the body ends when the socket closes.
std::string HTTPResponseStreamHead(std::string_view contentType, std::string_view altSvc,
                                   const std::vector<std::string>& headers);
// "HTTP/1.1 <code> <text>" and the extra lines; no body, no server line.
std::string HTTPStatusHead(int code, std::string_view text, const std::vector<std::string>& headers);
// "HTTP/1.1 302 Moved Temporarily", close, the location, the extra lines, the server line.
std::string HTTPRedirectHead(std::string_view url, const std::vector<std::string>& headers);

void WriteHTTPResponseStream(TzorTransport& transport, std::string_view body, std::string_view contentType,
                             std::string_view altSvc = {}, const std::vector<std::string>& headers = {});
void WriteHTTPStatus(TzorTransport& transport, int code, std::string_view text,
                     const std::vector<std::string>& headers = {});
void WriteHTTPRedirect(TzorTransport& transport, std::string_view url, const std::vector<std::string>& headers = {});

}  // namespace zor
