#pragma once
// WebSocket over HTTP/2 (RFC 8441), client side: the extended CONNECT header
// list and the checks of the server's first frames. The frames themselves are
// read by the stream codec (rfc8441_stream.h), which hands over what the
// handshake needs of them.
#include "websocket/handshake.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zor {

// What the WebSocket handshake needs to know of one received HTTP/2 frame.
struct TzorWSHTTP2Frame {
  enum class Kind { Settings, Headers, Other };
  Kind FrameKind = Kind::Other;
  bool ConnectProtocolEnabled = false;                       // SETTINGS_ENABLE_CONNECT_PROTOCOL is 1
  std::vector<std::pair<std::string, std::string>> Headers;  // decoded header fields of HEADERS
};

// The CONNECT request as "name = value" lines (header names in lower case, as
// HTTP/2 requires).
std::vector<std::string> BuildRFC8441HeaderLines(const TzorWSHandshakeRequest& request);

// What one step of the RFC 8441 handshake produced.
struct TzorWSRFC8441Step {
  std::vector<std::string> RequestLines;  // after SETTINGS: the CONNECT header list to send
  bool Enabled = false;                   // after HEADERS with status 200
  std::string Protocol;                   // the server's sec-websocket-protocol
  std::string Extensions;                 // the server's sec-websocket-extensions
};

// One step of the handshake: SETTINGS must enable the connect protocol and
// yields the request lines; HEADERS must carry ":status" 200 and ends it;
// any other frame is "Invalid Frame Type.".
TzorWSRFC8441Step ReadRFC8441Frame(const TzorWSHTTP2Frame& frame, const TzorWSHandshakeRequest& request);

}  // namespace zor
