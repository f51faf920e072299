#pragma once
// WebSocket over HTTP/2 (RFC 8441), client side: the extended CONNECT header
// list and the checks of the server's first frames. The frames themselves are
// decoded by the HTTP/2 layer, which sits above this one and plugs in through
// IzorWSHTTP2FrameDecoder.
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

// What the RFC 8441 handshake needs of an HTTP/2 layer: one received frame decoded.
class IzorWSHTTP2FrameDecoder {
 public:
  virtual ~IzorWSHTTP2FrameDecoder() = default;
  // The bytes received, read whole, parsed as one HTTP/2 frame.
  virtual TzorWSHTTP2Frame DecodeFrame(const uint8_t* data, size_t size) = 0;
};

// The CONNECT request as "name = value" lines (header names in lower case, as
// HTTP/2 requires).
std::vector<std::string> BuildRFC8441HeaderLines(const TzorWSHandshakeRequest& request);

// What one step of the RFC 8441 handshake produced.
struct TzorWSRFC8441Step {
  std::vector<std::string> RequestLines;  // after SETTINGS: the CONNECT header list to send
  bool Enabled = false;                   // after HEADERS with status 200
  std::string Protocol;                   // the server's sec-websocket-protocol
};

// One step of the handshake: SETTINGS must enable the connect protocol and
// yields the request lines; HEADERS must carry ":status" 200 and ends it.
TzorWSRFC8441Step ReadRFC8441Frame(IzorWSHTTP2FrameDecoder& decoder, const uint8_t* data, size_t size,
                                   const TzorWSHandshakeRequest& request);

}  // namespace zor
