#pragma once
// A transport without sockets for client tests: every connection records the
// bytes the client writes and answers each request with the next scripted
// response, delivered in small pieces so the reader sees split input. A
// connection reads as closed once it has nothing more to deliver.
#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "http/http_client.h"
#include "http/http_exceptions.h"

namespace zor::testing {

struct ScriptedServer {
  struct Connection {
    zor::TzorHTTPEndpoint endpoint;
    std::string received;
    bool closed_by_server = false;  // answers nothing more
  };
  std::deque<std::string> responses;  // one per request, in order
  bool refuse = false;
  std::vector<std::shared_ptr<Connection>> connections;
  size_t piece = 7;

  // Every request the client sent, across connections.
  std::string AllReceived() const {
    std::string all;
    for (const auto& c : connections) all += c->received;
    return all;
  }
};

class ScriptedStream : public zor::TzorHTTPStream {
 public:
  ScriptedStream(ScriptedServer& server, std::shared_ptr<ScriptedServer::Connection> connection)
      : server_(server), connection_(std::move(connection)) {}
  void Write(std::string_view bytes) override {
    connection_->received.append(bytes);
    if (server_.responses.empty() || connection_->closed_by_server) return;
    response_ += server_.responses.front();
    server_.responses.pop_front();
  }
  size_t Read(char* buffer, size_t size) override {
    const size_t n = std::min({size, server_.piece, response_.size() - offset_});
    response_.copy(buffer, n, offset_);
    offset_ += n;
    return n;
  }

 private:
  ScriptedServer& server_;
  std::shared_ptr<ScriptedServer::Connection> connection_;
  std::string response_;
  size_t offset_ = 0;
};

class ScriptedHTTP : public zor::TzorIdHTTP {
 public:
  explicit ScriptedHTTP(ScriptedServer& server) : server_(server) {}

 protected:
  std::unique_ptr<zor::TzorHTTPStream> DoConnect(const zor::TzorHTTPEndpoint& endpoint) override {
    if (server_.refuse) throw zor::EzorHTTPClientError("Connection refused");
    auto connection = std::make_shared<ScriptedServer::Connection>();
    connection->endpoint = endpoint;
    server_.connections.push_back(connection);
    return std::make_unique<ScriptedStream>(server_, connection);
  }

 private:
  ScriptedServer& server_;
};

}  // namespace zor::testing
