#pragma once
// An HTTP/2 request's header list in the form the server's HTTP/1.x rules
// read: a request line, then "name: value" lines. One set of rules (built-in
// files, posts, authentication, the handshake checks) then serves both.
#include <string>
#include <vector>

#include "http2/header_list.h"

namespace zor {

// ":method :path HTTP/2": what the rules of built-in files read.
std::string HTTP2RequestLine(const TzorHTTP2_HeaderList& headers);
// The request line, "Host: " and the authority, then every regular field.
std::vector<std::string> HTTP2RequestLines(const TzorHTTP2_HeaderList& headers);
// An extended CONNECT for the WebSocket protocol (RFC 8441).
bool IsWebSocketConnect(const TzorHTTP2_HeaderList& headers);
// The extended CONNECT as the upgrade request it stands for: "GET :path
// HTTP/2", the host, "Upgrade: websocket", "Connection: Upgrade" and the
// fields.
std::vector<std::string> WebSocketConnectLines(const TzorHTTP2_HeaderList& headers);

}  // namespace zor
