#pragma once
// The peers of the WebSocket client interop tests, each on a port of its own,
// and a recorder of the client's events that tests wait on.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/interop/peer_process.h"
#include "tests/net/test_pki.h"
#include "websocket/ws_client.h"

namespace zor::test {

inline const std::string kPeers = std::string(ZOR_SOURCE_DIR) + "/tests/interop/websocket_client/peers/";

// A server process on 127.0.0.1:Port(), with a private folder holding its
// certificates and its output.
class WSPeer {
 public:
  using Arguments = std::function<std::vector<std::string>(uint16_t port, const TestPKI& pki)>;

  WSPeer(const std::string& name, const Arguments& arguments, uint16_t port = 0)
      : port_(port ? port : FreeLoopbackPort()) {
    process_ = std::make_unique<PeerProcess>(arguments(port_, pki_), pki_.Dir() + "/" + name + ".log");
    if (!process_->WaitForOutput("ready")) throw std::runtime_error(name + " did not start: " + process_->Output());
  }
  uint16_t Port() const { return port_; }
  PeerProcess& Process() { return *process_; }
  std::string Output() const { return process_->Output(); }
  bool WaitForOutput(const std::string& text) const { return process_->WaitForOutput(text); }
  const TestPKI& PKI() const { return pki_; }
  std::string URL(const std::string& scheme, const std::string& path = "/") const {
    return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  TestPKI pki_;
  uint16_t port_;
  std::unique_ptr<PeerProcess> process_;
};

// Python `websockets`; deflate "off", "on", "no-context-takeover" or "max-window-bits".
inline std::unique_ptr<WSPeer> PythonServer(bool tls, const std::string& deflate = "off",
                                            const std::vector<std::string>& more = {}) {
  return std::make_unique<WSPeer>("python", [&](uint16_t port, const TestPKI& pki) {
    std::vector<std::string> argv{"/usr/bin/python3", kPeers + "python_ws_server.py", "--port", std::to_string(port),
                                  "--deflate", deflate};
    if (tls) argv.insert(argv.end(), {"--cert", pki.ServerCertFile(), "--key", pki.ServerKeyFile()});
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
  });
}

// Node's "ws" package.
inline std::unique_ptr<WSPeer> NodeWsServer(bool tls, bool deflate) {
  return std::make_unique<WSPeer>("node-ws", [&](uint16_t port, const TestPKI& pki) {
    std::vector<std::string> argv{"node", kPeers + "node_ws_server.mjs", std::to_string(port)};
    if (tls) argv.insert(argv.end(), {pki.ServerCertFile(), pki.ServerKeyFile()});
    if (deflate) argv.push_back("--deflate");
    return argv;
  });
}

// WebSocket over HTTP/2 on Node's http2 server, the stream handed to "ws";
// `mode` is "", "--no-connect" or "--refuse".
inline std::unique_ptr<WSPeer> NodeHttp2Server(const std::string& mode = "") {
  return std::make_unique<WSPeer>("node-h2", [&](uint16_t port, const TestPKI& pki) {
    std::vector<std::string> argv{"node", kPeers + "node_h2_ws_server.mjs", std::to_string(port), pki.ServerCertFile(),
                                  pki.ServerKeyFile()};
    if (!mode.empty()) argv.push_back(mode);
    return argv;
  });
}

// Node's "websocket" package.
inline std::unique_ptr<WSPeer> NodeWebsocketServer() {
  return std::make_unique<WSPeer>("node-websocket", [](uint16_t port, const TestPKI&) {
    return std::vector<std::string>{"node", kPeers + "node_websocket_server.js", std::to_string(port)};
  });
}

// The misbehaving server: a mode of hostile_server.py and its argument.
inline std::unique_ptr<WSPeer> HostileServer(const std::string& mode, const std::string& argument = "",
                                             uint16_t port = 0) {
  return std::make_unique<WSPeer>(
      "hostile",
      [&](uint16_t p, const TestPKI&) {
        return std::vector<std::string>{"/usr/bin/python3", kPeers + "hostile_server.py", std::to_string(p), mode,
                                        argument};
      },
      port);
}

// The client's events as they arrive on the IO thread (neNoSync), for the
// test thread to wait on.
class ClientEvents {
 public:
  explicit ClientEvents(TzorWSClient& client) {
    shared_->owner = this;
    client.SetNotifyEvents(neNoSync);
    client.OnConnect = [s = shared_](TzorWSConnection*) { Add(*s, [](ClientEvents& e) { ++e.connects; }); };
    client.OnDisconnect = [s = shared_](TzorWSConnection*, int code) {
      Add(*s, [&](ClientEvents& e) { e.disconnect_codes.push_back(code); });
    };
    client.OnMessage = [s = shared_](TzorWSConnection*, const std::string& text) {
      Add(*s, [&](ClientEvents& e) { e.messages.push_back(text); });
    };
    client.OnBinary = [s = shared_](TzorWSConnection*, const TzorStringStream& data) {
      Add(*s, [&](ClientEvents& e) { e.binaries.push_back(data.DataString()); });
    };
    client.OnError = [s = shared_](TzorWSConnection*, const std::string& error) {
      Add(*s, [&](ClientEvents& e) { e.errors.push_back(error); });
    };
    client.OnException = [s = shared_](TzorWSConnection*, const std::exception& ex) {
      Add(*s, [&](ClientEvents& e) { e.exceptions.push_back(ex.what()); });
    };
  }
  // A test usually lets go of this before its client, whose IO thread may
  // still raise events: from now on they change nothing.
  ~ClientEvents() {
    std::lock_guard l(shared_->lock);
    shared_->owner = nullptr;
  }

  // A wait for something to be delivered (not a measurement): true once
  // `done` holds, false after 30 seconds.
  bool WaitFor(const std::function<bool()>& done) {
    std::unique_lock l(shared_->lock);
    return shared_->changed.wait_for(l, std::chrono::seconds(30), done);
  }
  bool WaitForMessages(size_t count) {
    return WaitFor([&] { return messages.size() >= count; });
  }
  bool WaitForDisconnect() {
    return WaitFor([&] { return !disconnect_codes.empty(); });
  }
  // Copies taken under the lock.
  template <class T>
  T Read(const T& field) {
    std::lock_guard l(shared_->lock);
    return field;
  }

  int connects = 0;
  std::vector<int> disconnect_codes;
  std::vector<std::string> messages, binaries, errors, exceptions;

 private:
  // What the handlers hold: it lives as long as the client keeps them.
  struct Shared {
    std::mutex lock;
    std::condition_variable changed;
    ClientEvents* owner = nullptr;
  };

  static void Add(Shared& shared, const std::function<void(ClientEvents&)>& change) {
    {
      std::lock_guard l(shared.lock);
      if (!shared.owner) return;
      change(*shared.owner);
    }
    shared.changed.notify_all();
  }

  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

// A client set up for a peer: URL, and for TLS the peer's CA with
// certificate and host-name checks on.
inline void PointAt(TzorWSClient& client, const WSPeer& peer, bool tls, TwsTLSIOHandler provider = iohOpenSSL) {
  client.SetURL(peer.URL(tls ? "wss" : "ws"));
  if (tls) {
    client.TLSOptions().SetRootCertFile(peer.PKI().CAFile());
    client.TLSOptions().SetVerifyCertificate(true);
    client.TLSOptions().SetIOHandler(provider);
  }
}

}  // namespace zor::test
