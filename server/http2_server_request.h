#pragma once
// An HTTP/2 stream's request as the handlers see every request, and their
// response as the HTTP/2 session sends it: HTTP/2 requests run through the
// same steps (and the same access checks) as HTTP/1.x ones.
#include <span>

#include "http2/header_list.h"
#include "http2/server_options.h"
#include "server/http_server_request.h"

namespace zor {

// The request of a stream: pseudo-headers become method, target and host
// (":authority"), the other fields its headers (several "cookie" fields are
// one cookie list), the body its posted content.
TzorHTTPServerRequest HTTP2ServerRequest(const TzorHTTP2_HeaderList& headers, std::span<const uint8_t> body);
// The answer for SendHTTP2Response: status, content type line, the extra
// lines, the cookies and the content (taken over).
TzorHTTP2ResponseInfo HTTP2ResponseInfo(TzorHTTPServerResponse response);

}  // namespace zor
