// A WebSocket server that sends every message back, text as text and binary
// as binary, with permessage-deflate offered to clients that ask for it.
//   ws_echo_server [PORT]      (0 or nothing: a free port)
// Prints "listening on port N", serves until Ctrl-C or SIGTERM.
#include <zor/server/ws_http_server.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  zor::TzorWSHTTPServer server;
  server.SetAddress("127.0.0.1");
  server.SetPort(static_cast<uint16_t>(argc > 1 ? std::atoi(argv[1]) : 0));
  server.Extensions().PerMessage_Deflate().SetEnabled(true);

  // The handlers run on the server's worker threads: nothing here needs the
  // main thread, and every connection is read by one worker at a time.
  server.SetNotifyEvents(zor::neNoSync);
  server.OnConnect = [](zor::TzorWSConnection* connection) {
    std::printf("connected: %s\n", connection->IP().c_str());
    std::fflush(stdout);
  };
  server.OnMessage = [](zor::TzorWSConnection* connection, const std::string& text) {
    connection->WriteData(text);
  };
  server.OnBinary = [](zor::TzorWSConnection* connection, const zor::TzorStringStream& data) {
    connection->WriteData(data);
  };

  // Block the stop signals before the workers start, so that they inherit
  // the mask and only sigwait below sees them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  server.SetActive(true);
  std::printf("listening on port %u\n", server.ListeningPort());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  server.SetActive(false);
}
