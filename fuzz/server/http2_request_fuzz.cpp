// An HTTP/2 request as a client may send it, after HPACK: its fields become
// the head the server's rules read, and an extended CONNECT goes through the
// authentication of upgrades and the handshake checks up to the answer's
// fields. Any input ends in lines, an answer or one of the library's
// exceptions.
#include "http2/hpack.h"
#include "server/handshake_server.h"
#include "server/http2_request_lines.h"
#include "server/server_authentication.h"
#include "websocket/extensions.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  TzorHTTP2_HPACK decoder;
  TzorHTTP2_HeaderList headers;
  try {
    decoder.Decode(std::span(data, size), headers);
  } catch (const std::exception&) {
    return 0;
  }
  const std::vector<std::string> lines = HTTP2RequestLines(headers);
  if (lines.empty() || !lines.front().ends_with(" HTTP/2")) std::abort();
  if (!IsWebSocketConnect(headers)) return 0;
  const std::vector<std::string> upgrade = WebSocketConnectLines(headers);

  TzorWSAuthenticationServer_Options authOptions;
  authOptions.Enabled = true;
  authOptions.Basic.Enabled = true;
  authOptions.AuthUsers = {"alice=secret"};
  TzorWSServerAuthenticator authenticator(authOptions);
  TzorWSConnectionAuthState state;
  state.OnAuthentication = [&](TzorWSConnection* conn, const std::string& u, const std::string& p, bool& a) {
    authenticator.OnServerAuthenticationEvent(conn, state, u, p, a);
  };
  try {
    authenticator.AuthenticateUpgrade(nullptr, state, upgrade);
  } catch (const Exception&) {
  }
  try {
    const TzorWSHandShakeServer h(upgrade, {}, true);
    if (h.Specification() != spRFC8441) std::abort();
    CheckOrigin("https://a.test", h.Origin());
    const std::string protocol = SelectProtocol(h.Protocols(), "chat,superchat");
    TzorWSExtensions extensions;
    extensions.SetMode(appServer);
    extensions.PerMessage_Deflate().SetEnabled(true);
    extensions.DecodeExtensions(h.Extensions());
    std::vector<std::string> extensionLines;
    extensions.WriteHeader(extensionLines);
    BuildTunnelAnswerLines(protocol, extensionLines);
  } catch (const Exception&) {
  }
  return 0;
}
