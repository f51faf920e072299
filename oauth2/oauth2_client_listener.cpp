// The OAuth clients' local listener: a server of our own on one address and
// port that answers the browser's redirect, then stops from a thread of its
// own (never from inside its handler).
#include "oauth2/oauth2_client.h"
#include "oauth2/oauth2_server_hook.h"
#include "server/ws_http_server.h"

#include <chrono>

namespace zor {

TzorHTTPComponentClient_OAuth::TzorHTTPComponentClient_OAuth(TzorComponent_Base* aOwner)
    : TzorHTTPComponentClientAuthToken_Base(aOwner) {}

TzorHTTPComponentClient_OAuth::~TzorHTTPComponentClient_OAuth() {
  JoinListenerStop();
  DeactivateListener();
}

std::string TzorHTTPComponentClient_OAuth::RedirectAddress() const {
  int32_t port = FLocalServerOptions.ListeningPort();
  {
    std::lock_guard guard(FServerLock);
    if (port == 0 && FHTTPServer && FHTTPServer->Active()) port = FHTTPServer->ListeningPort();
  }
  return FLocalServerOptions.RedirectAddress(port);
}

bool TzorHTTPComponentClient_OAuth::LocalServerActive() const {
  std::lock_guard guard(FServerLock);
  return FHTTPServer && FHTTPServer->Active();
}

void TzorHTTPComponentClient_OAuth::StartLocalServer() {
  JoinListenerStop();
  std::lock_guard guard(FServerLock);
  if (!FHTTPServer) {
    FHTTPServer = std::make_unique<TzorWSHTTPServer>();
    FHTTPServer->SetNotifyEvents(neNoSync);
    FHTTPServer->SetThreadPoolSize(1);
    FHTTPServer->OnHTTPRequest = [this](TzorWSConnectionServer* connection, const std::vector<std::string>& lines,
                                        const std::string&) { OnListenerRequest(connection, lines.front()); };
  }
  if (FHTTPServer->Active()) return;
  const auto& options = FLocalServerOptions;
  FHTTPServer->SetAddress(options.IP);
  FHTTPServer->SetPort(static_cast<uint16_t>(options.ListeningPort()));
  FHTTPServer->SetSSL(options.SSL);
  if (options.SSL) {
    TzorTLSSettings tls;
    tls.Side = TzorTLSSide::tlsServer;
    tls.CertFile = options.SSLOptions.CertFile;
    tls.KeyFile = options.SSLOptions.KeyFile;
    FHTTPServer->SSLOptions() = tls;
  }
  FHTTPServer->SetActive(true);
}

void TzorHTTPComponentClient_OAuth::StopLocalServer() { DeactivateListener(); }

void TzorHTTPComponentClient_OAuth::DeactivateListener() {
  std::lock_guard guard(FServerLock);
  if (FHTTPServer && FHTTPServer->Active()) FHTTPServer->SetActive(false);
}

void TzorHTTPComponentClient_OAuth::JoinListenerStop() {
  std::thread stopper;
  {
    std::lock_guard guard(FStopperLock);
    stopper = std::move(FStopper);
  }
  if (stopper.joinable()) stopper.join();
}

void TzorHTTPComponentClient_OAuth::OnListenerRequest(TzorWSConnectionServer* aConnection,
                                                      const std::string& aRequestLine) {
  const TzorOAuth2Redirect redirect = ReadRedirect(aRequestLine);
  if (redirect.Path == "/favicon.ico") return WriteOAuth2Answer(*aConnection, TzorOAuth2HTTPAnswer::NotFound());
  int code = 200;
  std::string text;
  HandleRedirect(redirect, code, text);
  // The page is text, whatever the token address answered.
  WriteOAuth2Answer(*aConnection, TzorOAuth2HTTPAnswer::Content(code, "text/plain; charset=utf-8", text,
                                                                {"Cache-Control: no-store"}));
  std::lock_guard guard(FStopperLock);
  if (FStopper.joinable()) return;
  TzorWSHTTPServer* server = FHTTPServer.get();
  FStopper = std::thread([this, server] {
    // The answer leaves before the listener goes: its connection closes first.
    for (int i = 0; i < 200 && server->ConnectionCount() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    DeactivateListener();
  });
}

}  // namespace zor
