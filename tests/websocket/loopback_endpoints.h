#pragma once
// The least a WebSocket connection needs to meet a real peer over loopback:
// a client that connects (blocking transport, one IO thread) and writes the
// opening handshake, and a server that accepts (event-driven transport, a
// strand per connection) and answers it. The real client and server
// components do much more; these serve the interop tests and benchmarks.
#include "net/async_connection.h"
#include "net/connection.h"
#include "net/net_errors.h"
#include "websocket/handshake.h"
#include "websocket/ws_connection.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zor::test {

// Sets the extension set of one side: permessage-deflate with its options.
struct DeflateSettings {
  bool Enabled = false;
  int ServerMaxWindowBits = 15;
  bool ServerNoContextTakeOver = false;
  int ClientMaxWindowBits = 15;
  bool ClientNoContextTakeOver = false;

  void ApplyTo(TzorWSExtensions& e, TwsApplicationMode mode) const {
    e.SetMode(mode);
    auto& d = e.PerMessage_Deflate();
    d.SetEnabled(Enabled);
    d.SetServerMaxWindowBits(ServerMaxWindowBits);
    d.SetServerNoContextTakeOver(ServerNoContextTakeOver);
    d.SetClientMaxWindowBits(ClientMaxWindowBits);
    d.SetClientNoContextTakeOver(ClientNoContextTakeOver);
  }
};

// --- client ----------------------------------------------------------------------------

class LoopbackClient : public TzorWSConnection {
 public:
  ~LoopbackClient() override { Stop(); }

  // Connects, writes the request and starts the IO thread, which reads the
  // answer and then the frames. Read failures go to `errors`.
  void Connect(uint16_t port, const DeflateSettings& deflate = {}, const std::string& path = "/") {
    auto tcp = std::make_shared<TzorConnection>();
    tcp->Options().Host = "127.0.0.1";
    tcp->Options().Port = port;
    tcp->Connect();
    AttachTransport(tcp);
    SetTransport(trpRFC6455);
    SetMasked(true);
    deflate.ApplyTo(Extensions(), appClient);
    request_.Host = "127.0.0.1";
    request_.Port = port;
    request_.Path = path;
    request_.Extensions = &Extensions();
    request_.Key = GenerateHandshakeKey();
    tcp->Write(HandshakeRequestText(BuildHandshakeRequestLines(request_)));
    // After a close the IO thread reads only the peer's answer to ours, or
    // waits for the peer to end the connection, then closes its own end.
    io_ = std::thread([this, tcp] {
      while (!stop_ && tcp->Connected()) {
        try {
          // Another thread may close the socket at any moment.
          if (Disconnected() && !AwaitingCloseAnswer()) {
            tcp->ClearInput();
            tcp->WaitForData(50);
          } else if (tcp->WaitForData(50)) {
            ReadFrames(false);
          }
          CheckCloseAnswer();
        } catch (const std::exception& e) {
          // A close sequence on another thread may close the socket under
          // a wait: that ends the connection, as it does the client's.
          if (Disconnected() && dynamic_cast<const EzorClosedSocket*>(&e)) continue;
          std::lock_guard guard(lock_);
          errors.push_back(e.what());
        }
      }
      DropConnection();
      ended_ = true;
    });
  }
  void Stop() {
    stop_ = true;
    if (io_.joinable()) io_.join();
  }
  // The IO thread ended: the connection closed, or the peer closed it.
  bool Ended() const { return ended_; }
  std::vector<std::string> Errors() const {
    std::lock_guard guard(lock_);
    return errors;
  }

 protected:
  void ReadHandshakeResponse() override {
    std::string bytes;
    TCPConnection()->ReadFromBuffer(bytes, SIZE_MAX);
    const size_t used = answer_.Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!answer_.Complete()) return;
    const TzorWSHandShakeClient answer(answer_.Lines());
    SetProtocol(CheckHandshakeResponse(answer, request_.Key, "", &Extensions(), nullptr).Protocol);
    SetEnabled(true);
    ReadFramesOf(std::string_view(bytes).substr(used), false);
  }

 private:
  TzorWSHandshakeRequest request_;
  TzorWSHandshakeResponseReader answer_;
  std::thread io_;
  std::atomic<bool> stop_{false}, ended_{false};
  mutable std::mutex lock_;
  std::vector<std::string> errors;
};

// --- server ------------------------------------------------------------------------------

class LoopbackServerConnection : public TzorWSConnection {
 protected:
  // The upgrade request, up to its empty line, answered with 101.
  void ReadHandshakeResponse() override {
    TCPConnection()->ReadFromBuffer(request_, SIZE_MAX);
    const size_t end = request_.find("\r\n\r\n");
    if (end == std::string::npos) return;
    std::string key, offer;
    for (size_t at = 0; at < end;) {
      const size_t eol = request_.find("\r\n", at);
      const std::string line = request_.substr(at, eol - at);
      at = eol + 2;
      const size_t colon = line.find(": ");
      if (colon == std::string::npos) continue;
      const std::string name = line.substr(0, colon), value = line.substr(colon + 2);
      if (SameName(name, "Sec-WebSocket-Key")) key = value;
      if (SameName(name, "Sec-WebSocket-Extensions")) offer += (offer.empty() ? "" : ", ") + value;
    }
    Extensions().DecodeExtensions(offer);
    std::vector<std::string> lines = {"HTTP/1.1 101 Switching Protocols", "Upgrade: websocket", "Connection: Upgrade",
                                      "Sec-WebSocket-Accept: " + GetAcceptKey(key)};
    Extensions().WriteHeader(lines);
    TCPConnection()->Write(HandshakeRequestText(lines));
    SetEnabled(true);
    const std::string rest = request_.substr(end + 4);
    std::string().swap(request_);  // an idle connection keeps nothing of it
    ReadFramesOf(rest, true);
  }

 private:
  static bool SameName(const std::string& a, const char* b) {
    if (a.size() != std::char_traits<char>::length(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
  }
  std::string request_;
};

// Accepts on a loopback port; every connection gets `setup` before its
// first byte is read. One IO thread runs everything.
class LoopbackServer {
 public:
  using Setup = std::function<void(LoopbackServerConnection&)>;

  explicit LoopbackServer(Setup setup, int threads = 1)
      : setup_(std::move(setup)), acceptor_(io_, {boost::asio::ip::make_address("127.0.0.1"), 0}) {
    Accept();
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { io_.run(); });
  }
  ~LoopbackServer() {
    io_.stop();
    for (auto& t : threads_) t.join();
  }
  uint16_t Port() const { return acceptor_.local_endpoint().port(); }

  std::vector<std::shared_ptr<LoopbackServerConnection>> Connections() const {
    std::lock_guard guard(lock_);
    return connections_;
  }
  std::vector<std::string> Errors() const {
    std::lock_guard guard(lock_);
    return errors_;
  }

 private:
  void Accept() {
    acceptor_.async_accept([this](const boost::system::error_code& ec, boost::asio::ip::tcp::socket socket) {
      if (ec) return;
      boost::system::error_code ignored;
      socket.set_option(boost::asio::ip::tcp::no_delay(true), ignored);
      auto transport = TzorAsyncConnection::Create(std::move(socket));
      auto c = std::make_shared<LoopbackServerConnection>();
      c->AttachTransport(transport);
      c->SetTransport(trpRFC6455);
      c->Extensions().SetMode(appServer);
      setup_(*c);
      {
        std::lock_guard guard(lock_);
        connections_.push_back(c);
      }
      TzorAsyncConnection::Handlers handlers;
      // The transport holds its handlers: a weak reference breaks the cycle.
      // After our close, the peer's answer is waited for as long as the
      // connection says; the transport's idle timer ends a wait unanswered.
      c->OnAwaitCloseAnswer = [weak = std::weak_ptr(c), transport](TzorWSConnection* self) {
        transport->SetIdleTimeout(self->CloseTimeOut(), [weak](TzorAsyncConnection&) {
          if (auto c = weak.lock()) c->CheckCloseAnswer();
        });
      };
      handlers.OnData = [this, weak = std::weak_ptr(c)](TzorAsyncConnection&) {
        auto c = weak.lock();
        if (!c) return;
        try {
          // Bytes after a close that awaits no answer: the server ends the
          // connection first.
          if (c->Disconnected() && !c->AwaitingCloseAnswer()) return c->DropConnection();
          c->ReadFrames(true);
        } catch (const std::exception& e) {
          std::lock_guard guard(lock_);
          errors_.push_back(e.what());
        }
      };
      transport->Start(std::move(handlers));
      Accept();
    });
  }

  Setup setup_;
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::vector<std::thread> threads_;
  mutable std::mutex lock_;
  std::vector<std::shared_ptr<LoopbackServerConnection>> connections_;
  std::vector<std::string> errors_;
};

}  // namespace zor::test
