#pragma once
// The bytes of an HTTP/1.1 answer made from a handler's response object.
#include <string>

#include "server/http_server_request.h"

namespace zor {

// The usual reason text of a status code ("Not Found"); "Unknown Status" for others.
std::string StatusText(int code);

// Status line, Connection, Content-Type and Content-Length, the cookies, the
// extra lines and the server line, then the content (left out for HEAD and
// for codes that carry none). Raises TzorWSException when a line holds CR,
// LF or NUL, which would let a value add lines of its own.
std::string HTTPResponseBytes(const TzorHTTPServerResponse& response, bool headRequest, bool keepAlive);

}  // namespace zor
