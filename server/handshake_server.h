#pragma once
// The server side of the opening handshake: the upgrade request's lines
// parsed and checked, the subprotocol chosen, the origin checked and the
// answer built (RFC 6455 or the Hixie-76 draft). Sans-IO: the connection
// hands in the lines it read and writes the answer's bytes.
#include "websocket/handshake.h"

#include <string>
#include <string_view>
#include <vector>

namespace zor {

// The upgrade request's lines as the server's handshake reads them.
class TzorWSHandShakeServer_Base : public TzorWSHandshake {
 public:
  const std::string& Get() const { return FGet; }
  const std::string& Host() const { return FHost; }
  const std::string& Origin() const { return FOrigin; }
  const std::string& Key() const { return FKey; }
  const std::string& Version() const { return FVersion; }
  TwsSpecification Specification() const {
    return FExtendedConnect ? spRFC8441 : FKey1.empty() ? spRFC6455 : spHixie76;
  }

 protected:
  std::string FGet, FHost, FOrigin, FKey, FVersion;
  bool FIsConnection = false, FIsGET = false, FIsHost = false, FIsKey = false, FIsOrigin = false,
       FIsProtocols = false, FIsUpgrade = false, FIsVersion = false, FIsExtensions = false, FIsKey1 = false,
       FIsKey2 = false;
  std::string FKey1, FKey2;
  std::string FKey3;  // the eight bytes after a draft-76 request
  bool FExtendedConnect = false;
};

// The server side of the WebSocket opening handshake.
class TzorWSHandShakeServer : public TzorWSHandShakeServer_Base {
 public:
  // `lines`: the request head, line 0 the request line. `after`: the bytes
  // that followed the head; a draft-76 request takes its third key from them.
  // Raises TzorWSException with the check's message when a line is wrong.
  // `extendedConnect`: the lines stand for an HTTP/2 extended CONNECT, which
  // carries no key.
  TzorWSHandShakeServer(const std::vector<std::string>& lines, std::string_view after, bool extendedConnect = false);
  // Bytes of `after` taken as the third key (8 or 0).
  size_t Key3Size() const { return FKey3.size(); }
  // The 16 bytes a draft-76 client expects after the answer's head.
  std::string Hixie76Challenge() const;
};

// The first offered subprotocol, in the client's order and spelling, that the
// server's comma-separated list holds (any case); both lists are split at ","
// without trimming. No offer: empty. None served: TzorWSException
// "Error Protocol: %s not supported.".
std::string SelectProtocol(std::string_view offered, std::string_view served);

// Raises "Origin %s not allowed" when both texts are set and the origin
// matches none of the comma-separated masks.
void CheckOrigin(std::string_view allowedMasks, std::string_view origin);

// The answer's lines without the empty line; `extensionLines` are the
// negotiated extensions' header lines (RFC 6455 only).
std::vector<std::string> BuildHandshakeAnswerLines(const TzorWSHandShakeServer& request, std::string_view protocol,
                                                   const std::vector<std::string>& extensionLines);
// The fields of a 200 answer that accepts an extended CONNECT: the
// subprotocol when one was chosen and the extensions' lines.
std::vector<std::string> BuildTunnelAnswerLines(std::string_view protocol,
                                                const std::vector<std::string>& extensionLines);
// Lines with CR LF, the empty line, and for draft 76 the challenge answer.
std::string HandshakeAnswerText(const std::vector<std::string>& lines, const TzorWSHandShakeServer& request);

}  // namespace zor
