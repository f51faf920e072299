// zor-ws-server: the WebSocket and HTTP server echoing every message back,
// for the interop tests, the soak test and the load benchmark.
//   zor-ws-server [--port N] [--address A] [--threads T] [--tls CERT KEY]
//                 [--http2] [--html] [--deflate] [--hello] [--document-root DIR]
// --hello answers every other HTTP request with a short text, --document-root
// serves the files of DIR (for the HTTP benchmark).
// Prints "listening on port N" and serves until SIGINT or SIGTERM.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/loopback_server.h"

namespace {

void AnswerHello(zor::TzorWSConnectionServer*, zor::TzorHTTPServerRequest&, zor::TzorHTTPServerResponse& response) {
  response.ContentType = "text/plain";
  response.ContentText = "Hello, World!";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zor;
  TzorWSHTTPServer server;
  tools::ListenOnLoopback(server);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--port" && i + 1 < argc) server.SetPort(static_cast<uint16_t>(std::atoi(argv[++i])));
    else if (arg == "--address" && i + 1 < argc) server.SetAddress(argv[++i]);
    else if (arg == "--threads" && i + 1 < argc) server.SetThreadPoolSize(static_cast<unsigned>(std::atoi(argv[++i])));
    else if (arg == "--tls" && i + 2 < argc) {
      server.SetSSL(true);
      server.SSLOptions().CertFile = argv[++i];
      server.SSLOptions().KeyFile = argv[++i];
    } else if (arg == "--http2") server.SetHTTP2Enabled(true);
    else if (arg == "--html") server.Options().HTMLFiles = true;
    else if (arg == "--deflate") server.Extensions().PerMessage_Deflate().SetEnabled(true);
    else if (arg == "--hello") server.OnCommandGet = server.OnCommandOther = AnswerHello;
    else if (arg == "--document-root" && i + 1 < argc) server.SetDocumentRoot(argv[++i]);
    else {
      std::fprintf(stderr, "usage: zor-ws-server [--port N] [--address A] [--threads T] [--tls CERT KEY] "
                           "[--http2] [--html] [--deflate] [--hello] [--document-root DIR]\n");
      return 2;
    }
  }
  server.SetNotifyEvents(neNoSync);
  server.OnMessage = [](TzorWSConnection* c, const std::string& text) { c->WriteData(text); };
  server.OnBinary = [](TzorWSConnection* c, const TzorStringStream& data) { c->WriteData(data); };

  tools::ServeUntilStopSignal(server, [](const std::string& aLine) {
    std::printf("%s\n", aLine.c_str());
    std::fflush(stdout);
  });
  return 0;
}
