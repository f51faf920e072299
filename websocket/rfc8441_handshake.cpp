#include "websocket/rfc8441_handshake.h"

#include "websocket/extensions.h"

namespace zor {

namespace {

constexpr std::string_view kExtensionsLine = "Sec-WebSocket-Extensions: ";

}  // namespace

std::vector<std::string> BuildRFC8441HeaderLines(const TzorWSHandshakeRequest& r) {
  std::vector<std::string> lines = {":method = CONNECT", ":protocol = websocket", ":scheme = https"};
  lines.push_back(":path = " + r.RequestPath());
  lines.push_back(":authority = " + r.Authority());
  lines.push_back("origin = " + r.OriginOrHost());
  if (!r.Protocols.empty()) lines.push_back("sec-websocket-protocol = " + r.Protocols);
  if (r.BasicAuthentication) lines.push_back("authorization = " + r.BasicCredentials());
  if (r.TokenAuthentication) lines.push_back("authorization = " + r.AuthName + " " + r.AuthToken);
  if (r.Extensions) {
    std::vector<std::string> offers;
    r.Extensions->WriteHeader(offers);
    for (const auto& offer : offers) lines.push_back("sec-websocket-extensions = " + offer.substr(kExtensionsLine.size()));
  }
  lines.push_back("sec-websocket-version = 13");
  return lines;
}

TzorWSRFC8441Step ReadRFC8441Frame(const TzorWSHTTP2Frame& frame, const TzorWSHandshakeRequest& request) {
  TzorWSRFC8441Step step;
  switch (frame.FrameKind) {
    case TzorWSHTTP2Frame::Kind::Settings:
      if (!frame.ConnectProtocolEnabled) throw TzorWSException("Error reading Frame Settings: connect is not enabled.");
      step.RequestLines = BuildRFC8441HeaderLines(request);
      return step;
    case TzorWSHTTP2Frame::Kind::Headers: {
      bool ok = false;
      for (const auto& [name, value] : frame.Headers) {
        if (name == ":status") ok = value == "200";
        if (name == "sec-websocket-protocol") step.Protocol = value;
        if (name == "sec-websocket-extensions") step.Extensions += (step.Extensions.empty() ? "" : ", ") + value;
      }
      if (!ok) throw TzorWSException("Error reading Frame Headers: status <> 200");
      step.Enabled = true;
      return step;
    }
    default:
      throw TzorWSException("Invalid Frame Type.");
  }
}

}  // namespace zor
