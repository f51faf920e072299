#include "server/handshake_server.h"

#include "base/bytes.h"
#include "base/format.h"
#include "base/text.h"
#include "server/request_classifier.h"
#include "server/server_options.h"

namespace zor {

namespace {

constexpr size_t kHixie76Key3Size = 8;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::string After(const std::string& line, std::string_view prefix) { return line.substr(prefix.size()); }

}  // namespace

TzorWSHandShakeServer::TzorWSHandShakeServer(const std::vector<std::string>& lines, std::string_view after,
                                             bool extendedConnect) {
  FExtendedConnect = extendedConnect;
  for (const std::string& line : lines) {
    if (StartsWithNoCase(line, "GET /")) {
      FIsGET = true;
      const size_t http = line.rfind("HTTP");
      if (http != std::string::npos && line.size() >= http + 5 && line.substr(http + 5) == "1.0")
        throw TzorWSException("Error Decoding Header: GET");
      FGet = RequestPath(line);
    } else if (StartsWithNoCase(line, "Upgrade: ")) {
      FIsUpgrade = true;
      if (!MatchMask(line, "*websocket")) throw TzorWSException("Error Decoding Header: WebSocket");
    } else if (StartsWithNoCase(line, "Connection: ")) {
      FIsConnection = true;
      if (!MatchMask(line, "*Upgrade*")) throw TzorWSException("Error Decoding Header: Upgrade");
    } else if (StartsWithNoCase(line, "Host: ")) {
      FIsHost = true;
      FHost = After(line, "Host: ");
    } else if (StartsWithNoCase(line, "Sec-WebSocket-Key: ")) {
      FIsKey = true;
      FKey = After(line, "Sec-WebSocket-Key: ");
    } else if (StartsWithNoCase(line, "Origin: ")) {
      FIsOrigin = true;
      FOrigin = After(line, "Origin: ");
    } else if (StartsWithNoCase(line, "Sec-WebSocket-Protocol: ")) {
      FIsProtocols = true;
      FProtocols = After(line, "Sec-WebSocket-Protocol: ");
    } else if (StartsWithNoCase(line, "Sec-WebSocket-Version: ")) {
      FIsVersion = true;
      FVersion = After(line, "Sec-WebSocket-Version: ");
    } else if (StartsWithNoCase(line, "Sec-WebSocket-Extensions: ")) {
      FIsExtensions = true;
      FExtensions = After(line, "Sec-WebSocket-Extensions: ");
    } else if (StartsWithNoCase(line, "Sec-WebSocket-Key1: ")) {
      FIsKey1 = true;
      FKey1 = After(line, "Sec-WebSocket-Key1: ");
    } else if (StartsWithNoCase(line, "Sec-WebSocket-Key2: ")) {
      FIsKey2 = true;
      FKey2 = After(line, "Sec-WebSocket-Key2: ");
    }
  }
  if (!FKey1.empty() && !FKey2.empty() && after.size() >= kHixie76Key3Size) FKey3 = after.substr(0, kHixie76Key3Size);
  if (extendedConnect) return;
  if (!FIsKey && !FIsKey1 && !FIsKey2) throw TzorWSException("Error Decoding Header: WebSocket-Key");
  // A draft-76 answer needs both keys and the third; without them no answer can be right.
  if (Specification() == spHixie76 && (FKey2.empty() || FKey3.size() != kHixie76Key3Size))
    throw TzorWSException("Error Decoding Header: WebSocket-Key");
}

std::string TzorWSHandShakeServer::Hixie76Challenge() const {
  return GetHixie76Answer(FKey1, FKey2,
                          BytesToHexText(reinterpret_cast<const uint8_t*>(FKey3.data()), FKey3.size()));
}

std::string SelectProtocol(std::string_view offered, std::string_view served) {
  if (offered.empty()) return {};
  const auto offers = SplitText(offered, ',');
  const auto ours = SplitText(served, ',');
  for (const std::string& offer : offers)
    for (const std::string& name : ours)
      if (!name.empty() && SameText(offer, name)) return offer;
  std::string list;
  for (const std::string& offer : offers) list += offer + "\r\n";
  throw TzorWSException(Format("Error Protocol: %s not supported.", list.c_str()));
}

void CheckOrigin(std::string_view allowedMasks, std::string_view origin) {
  if (allowedMasks.empty() || origin.empty()) return;
  for (const std::string& mask : SplitText(allowedMasks, ','))
    if (!mask.empty() && MatchMask(origin, mask)) return;
  throw TzorWSException(Format("Origin %s not allowed", std::string(origin).c_str()));
}

std::vector<std::string> BuildHandshakeAnswerLines(const TzorWSHandShakeServer& request, std::string_view protocol,
                                                   const std::vector<std::string>& extensionLines) {
  const std::string server = std::string("Server: ") + kServerSoftware;
  if (request.Specification() == spHixie76) {
    return {"HTTP/1.1 101 WebSocket Protocol Handshake",
            "Upgrade: WebSocket",
            "Connection: Upgrade",
            "Sec-WebSocket-Origin: " + request.Origin(),
            "Sec-WebSocket-Location: ws://" + request.Host() + request.Get(),
            "Sec-WebSocket-Protocol: " + (protocol.empty() ? std::string("*") : std::string(protocol)),
            server};
  }
  std::vector<std::string> lines{"HTTP/1.1 101 Switching Protocols", "Upgrade: websocket", "Connection: Upgrade"};
  if (!protocol.empty()) lines.push_back("Sec-WebSocket-Protocol: " + std::string(protocol));
  lines.push_back("Sec-WebSocket-Accept: " + GetAcceptKey(request.Key()));
  lines.push_back(server);
  lines.insert(lines.end(), extensionLines.begin(), extensionLines.end());
  return lines;
}

std::vector<std::string> BuildTunnelAnswerLines(std::string_view protocol,
                                                const std::vector<std::string>& extensionLines) {
  std::vector<std::string> lines;
  if (!protocol.empty()) lines.push_back("Sec-WebSocket-Protocol: " + std::string(protocol));
  lines.insert(lines.end(), extensionLines.begin(), extensionLines.end());
  return lines;
}

std::string HandshakeAnswerText(const std::vector<std::string>& lines, const TzorWSHandShakeServer& request) {
  std::string text = HandshakeRequestText(lines);
  if (request.Specification() == spHixie76) text += request.Hixie76Challenge();
  return text;
}

}  // namespace zor
