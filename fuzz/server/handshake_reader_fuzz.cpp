// An upgrade request as a client may send it: its head is read, checked and
// answered (both drafts, subprotocols, origins, deflate offers), and the
// authentication rules run over it. Any input ends in an answer or one of
// the library's exceptions.
#include "server/handshake_server.h"
#include "server/request_classifier.h"
#include "server/server_authentication.h"
#include "websocket/extensions.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TzorRequestClassifierOptions options;
  options.AuthenticationEnabled = true;
  options.MaxReadBufferSize = 8192;
  const auto c = ClassifyRequest(bytes, options, fwOver);
  if (c.Lines.empty()) return 0;

  TzorWSAuthenticationServer_Options authOptions;
  authOptions.Enabled = true;
  authOptions.Basic.Enabled = size % 2 == 0;
  authOptions.AuthUsers = {"alice=secret", "bob="};
  TzorWSServerAuthenticator authenticator(authOptions);
  authenticator.SetWatchDogMonitorSecret("0123456789ABCDEF0123456789ABCDEF");
  TzorWSConnectionAuthState state;
  state.OnAuthentication = [&](TzorWSConnection* conn, const std::string& u, const std::string& p, bool& a) {
    authenticator.OnServerAuthenticationEvent(conn, state, u, p, a);
  };
  try {
    std::string body;
    authenticator.AnswerSessionRequest(nullptr, state, c.Lines.front(), "", "", body);
    authenticator.AuthenticateUpgrade(nullptr, state, c.Lines);
  } catch (const Exception&) {
  }

  try {
    const TzorWSHandShakeServer h(c.Lines, bytes.substr(c.HeadSize));
    if (h.Key3Size() != 0 && h.Key3Size() != 8) std::abort();
    CheckOrigin("http://*.example.com,https://a.test", h.Origin());
    const std::string protocol = SelectProtocol(h.Protocols(), "chat,superchat");
    TzorWSExtensions extensions;
    extensions.SetMode(appServer);
    extensions.PerMessage_Deflate().SetEnabled(true);
    extensions.DeflateFrame().SetEnabled(true);
    extensions.DecodeExtensions(h.Extensions());
    std::vector<std::string> extensionLines;
    extensions.WriteHeader(extensionLines);
    const std::string answer = HandshakeAnswerText(BuildHandshakeAnswerLines(h, protocol, extensionLines), h);
    if (answer.find("\r\n\r\n") == std::string::npos) std::abort();
  } catch (const Exception&) {
  }
  return 0;
}
