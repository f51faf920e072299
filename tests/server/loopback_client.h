#pragma once
// A blocking client socket to a server under test, started on first use.
#include <memory>

#include "net/connection.h"
#include "server/ws_http_server.h"

namespace zor {

inline std::unique_ptr<TzorConnection> ConnectToServer(TzorWSHTTPServer& server) {
  if (!server.Active()) server.SetActive(true);
  auto c = std::make_unique<TzorConnection>();
  c->Options().Host = "127.0.0.1";
  c->Options().Port = server.ListeningPort();
  c->Options().ConnectTimeout = c->Options().ReadTimeout = c->Options().WriteTimeout = 20000;
  c->Connect();
  return c;
}

}  // namespace zor
