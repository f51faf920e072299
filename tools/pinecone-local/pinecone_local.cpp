#include "tools/pinecone-local/pinecone_local.h"

#include <boost/asio/io_context.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <optional>
#include <thread>

#include "net/async_connection.h"
#include "net/openssl_engine.h"
#include "tools/pinecone-local/local_routes.h"
#include "tools/pinecone-local/self_signed.h"

namespace zor {
namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

// An upsert of a thousand 1536-dimensional vectors is about 30 MB of JSON.
constexpr uint64_t kBodyLimit = 64ull * 1024 * 1024;
constexpr uint32_t kHeaderLimit = 16 * 1024;
constexpr int kIdleTimeoutMs = 60 * 1000;

std::shared_ptr<const TzorTLSContext> NewServerTls(const std::string& cert_file, const std::string& key_file) {
  TzorTLSSettings settings;
  settings.Side = TzorTLSSide::tlsServer;
  if (cert_file.empty()) {
    const pinecone_local::TlsIdentity identity = pinecone_local::MakeSelfSignedIdentity();
    settings.CertPEM = identity.certificate_pem;
    settings.KeyPEM = identity.private_key_pem;
  } else {
    settings.CertFile = cert_file;
    settings.KeyFile = key_file;
  }
  settings.ALPNProtocols = {"http/1.1"};
  return NewOpenSSLContext(settings);
}

// One client connection: requests are parsed from the input as it arrives
// and answered in order, so pipelined requests need nothing special.
class Session {
 public:
  explicit Session(pinecone_local::Service& service) : service_(service) { NextRequest(); }

  void OnData(TzorAsyncConnection& connection) {
    if (closing_) return connection.ClearInput();
    connection.ReadFromBuffer(pending_, SIZE_MAX);
    size_t used = 0;
    try {
      while (!closing_ && used < pending_.size()) {
        boost::beast::error_code ec;
        const size_t n = parser_->put(asio::buffer(pending_.data() + used, pending_.size() - used), ec);
        used += n;
        if (ec == http::error::need_more) break;
        if (ec) {
          Refuse(connection, ec);
        } else if (parser_->is_done()) {
          Answer(connection);
        } else {
          if (parser_->is_header_done()) Continue(connection);
          if (n == 0) break;
        }
      }
    } catch (const std::exception&) {
      // The peer is gone or reads too slowly to take the answer.
      closing_ = true;
      connection.Abort();
    }
    pending_.erase(0, used);
  }

 private:
  void NextRequest() {
    parser_.emplace();
    parser_->body_limit(kBodyLimit);
    parser_->header_limit(kHeaderLimit);
    continued_ = false;
  }

  // A client that waits for leave before sending its body gets it at once.
  void Continue(TzorAsyncConnection& connection) {
    if (continued_) return;
    continued_ = true;
    const auto& header = parser_->get();
    if (header.version() >= 11 && boost::beast::iequals(header[http::field::expect], "100-continue"))
      connection.Write("HTTP/1.1 100 Continue\r\n\r\n");
  }

  void Answer(TzorAsyncConnection& connection) {
    auto message = parser_->release();
    NextRequest();
    pinecone_local::Request request;
    request.method = std::string(message.method_string());
    request.host = std::string(message[http::field::host]);
    request.target = std::string(message.target());
    if (auto key = message.find("Api-Key"); key != message.end()) {
      request.has_api_key = true;
      request.api_key = std::string(key->value());
    }
    if (auto version = message.find("X-Pinecone-API-Version"); version != message.end()) {
      request.api_version = std::string(version->value());
    }
    request.body = std::move(message.body());
    pinecone_local::Reply reply;
    try {
      reply = service_.Handle(request);
    } catch (const std::exception&) {
      reply = {500, "Internal error"};
    }
    Send(connection, std::move(reply), message.keep_alive());
  }

  void Refuse(TzorAsyncConnection& connection, const boost::beast::error_code& ec) {
    const bool too_large = ec == http::error::body_limit || ec == http::error::header_limit;
    Send(connection, too_large ? pinecone_local::Reply{413, "Request too large"} : pinecone_local::Reply{400, "Bad request"},
         false);
  }

  void Send(TzorAsyncConnection& connection, pinecone_local::Reply reply, bool keep_alive) {
    const bool is_json = !reply.body.empty() && (reply.body.front() == '{' || reply.body.front() == '[');
    const auto reason = http::obsolete_reason(http::int_to_status(static_cast<unsigned>(reply.status)));
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + std::string(reason) + "\r\n";
    head += is_json ? "Content-Type: application/json\r\n" : "Content-Type: text/plain\r\n";
    head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    if (!keep_alive) head += "Connection: close\r\n";
    head += "\r\n";
    connection.Write(head);
    connection.Write(reply.body);
    if (keep_alive) return;
    closing_ = true;
    connection.Disconnect();
  }

  pinecone_local::Service& service_;
  std::string pending_;  // received, not yet parsed
  std::optional<http::request_parser<http::string_body>> parser_;
  bool continued_ = false;
  bool closing_ = false;
};

}  // namespace

// One IO thread serves every connection; the service itself is never shared
// between threads. Stop ends the thread first: the connections, with their
// sessions, go with the io_context, before the service they use.
struct TzorPineconeLocal::Server {
  Server(const std::string& api_key, uint16_t port, const std::string& cert_file, const std::string& key_file)
      : service(api_key, kProjectId), tls(NewServerTls(cert_file, key_file)), acceptor(io) {
    const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen();
    bound_port = acceptor.local_endpoint().port();
    Accept();
    thread = std::thread([this] { io.run(); });
  }

  ~Server() {
    io.stop();
    if (thread.joinable()) thread.join();
  }

  void Accept() {
    acceptor.async_accept([this](const boost::system::error_code& ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted) return;
      if (!ec) Serve(std::move(socket));
      Accept();
    });
  }

  void Serve(tcp::socket socket) {
    try {
      auto connection = TzorAsyncConnection::Create(std::move(socket), tls);
      auto session = std::make_shared<Session>(service);
      // Nothing from the client for a minute: it may also have stopped taking an answer.
      connection->SetIdleTimeout(kIdleTimeoutMs, [](TzorAsyncConnection& c) { c.Abort(); });
      TzorAsyncConnection::Handlers handlers;
      handlers.OnData = [session](TzorAsyncConnection& c) { session->OnData(c); };
      connection->Start(std::move(handlers));
    } catch (const std::exception&) {
      // No TLS state for this client: dropping the socket refuses it.
    }
  }

  pinecone_local::Service service;
  std::shared_ptr<const TzorTLSContext> tls;
  asio::io_context io;
  tcp::acceptor acceptor;
  uint16_t bound_port = 0;
  std::thread thread;
};

TzorPineconeLocal::TzorPineconeLocal() = default;
TzorPineconeLocal::~TzorPineconeLocal() { Stop(); }

void TzorPineconeLocal::Start(const std::string& api_key, uint16_t port, const std::string& cert_file,
                              const std::string& key_file) {
  Stop();
  server_ = std::make_unique<Server>(api_key, port, cert_file, key_file);
}

void TzorPineconeLocal::Stop() { server_.reset(); }

bool TzorPineconeLocal::Active() const { return server_ != nullptr; }

uint16_t TzorPineconeLocal::Port() const { return server_ ? server_->bound_port : 0; }

}  // namespace zor
