#pragma once
// The server the programs here run: on 127.0.0.1 at a port the system picks
// (their options may change both), announced with "listening on port N" once
// it listens, and served until SIGINT or SIGTERM.
#include <string>

#include "server/ws_http_server.h"
#include "tools/stop_signals.h"

namespace zor::tools {

inline void ListenOnLoopback(TzorWSHTTPServer& aServer) {
  aServer.SetPort(0);
  aServer.SetAddress("127.0.0.1");
}

// Starts the server with the stop signals blocked (the threads it starts
// inherit the mask), tells the listening port through `aSay`, waits for a
// stop signal and stops the server.
template <class Say>
void ServeUntilStopSignal(TzorWSHTTPServer& aServer, Say&& aSay) {
  const sigset_t stop = BlockStopSignals();
  aServer.SetActive(true);
  aSay("listening on port " + std::to_string(aServer.ListeningPort()));
  WaitForStopSignal(stop);
  aServer.SetActive(false);
}

}  // namespace zor::tools
