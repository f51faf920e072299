#include "tools/pinecone-local/pinecone_local.h"

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <chrono>
#include <thread>

#include "tools/pinecone-local/local_routes.h"
#include "tools/pinecone-local/self_signed.h"

namespace zor {
namespace {

namespace asio = boost::asio;
namespace ssl = boost::asio::ssl;
namespace beast = boost::beast;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;

// An upsert of a thousand 1536-dimensional vectors is about 30 MB of JSON.
constexpr uint64_t kBodyLimit = 64ull * 1024 * 1024;
constexpr uint32_t kHeaderLimit = 16 * 1024;
constexpr auto kIdleTimeout = std::chrono::seconds(60);

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, ssl::context& tls, pinecone_local::Service& service)
      : stream_(std::move(socket), tls), service_(service) {}

  void Run() {
    beast::get_lowest_layer(stream_).expires_after(kIdleTimeout);
    stream_.async_handshake(ssl::stream_base::server, [self = shared_from_this()](beast::error_code ec) {
      if (!ec) self->Read();
    });
  }

 private:
  void Read() {
    parser_.emplace();
    parser_->body_limit(kBodyLimit);
    parser_->header_limit(kHeaderLimit);
    beast::get_lowest_layer(stream_).expires_after(kIdleTimeout);
    http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code ec, size_t) {
      self->OnRead(ec);
    });
  }

  void OnRead(beast::error_code ec) {
    if (ec == http::error::end_of_stream) return Close();
    if (ec == http::error::body_limit || ec == http::error::header_limit) {
      return Answer({413, "Request too large"}, false);
    }
    if (ec) return;  // broken or timed-out connection: dropping the session closes it
    const auto& message = parser_->get();
    pinecone_local::Request request;
    request.method = std::string(message.method_string());
    request.host = std::string(message[http::field::host]);
    request.target = std::string(message.target());
    if (auto key = message.find("Api-Key"); key != message.end()) {
      request.has_api_key = true;
      request.api_key = std::string(key->value());
    }
    request.body = message.body();
    Answer(service_.Handle(request), message.keep_alive());
  }

  void Answer(pinecone_local::Reply reply, bool keep_alive) {
    response_ = {};
    response_.version(11);
    response_.result(static_cast<unsigned>(reply.status));
    const bool is_json = !reply.body.empty() && (reply.body.front() == '{' || reply.body.front() == '[');
    response_.set(http::field::content_type, is_json ? "application/json" : "text/plain");
    response_.body() = std::move(reply.body);
    response_.keep_alive(keep_alive);
    response_.prepare_payload();
    http::async_write(stream_, response_, [self = shared_from_this(), keep_alive](beast::error_code ec, size_t) {
      if (ec) return;
      if (keep_alive) return self->Read();
      self->Close();
    });
  }

  void Close() {
    beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(5));
    stream_.async_shutdown([self = shared_from_this()](beast::error_code) {});
  }

  beast::ssl_stream<beast::tcp_stream> stream_;
  pinecone_local::Service& service_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::string_body> response_;
};

}  // namespace

struct TzorPineconeLocal::Server {
  Server(const std::string& api_key, uint16_t port)
      : service(api_key, kProjectId), tls(ssl::context::tls_server), acceptor(io) {
    const pinecone_local::TlsIdentity identity = pinecone_local::MakeSelfSignedIdentity();
    tls.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                    ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
    tls.use_certificate_chain(asio::buffer(identity.certificate_pem));
    tls.use_private_key(asio::buffer(identity.private_key_pem), ssl::context::pem);
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
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted) return;
      if (!ec) std::make_shared<Session>(std::move(socket), tls, service)->Run();
      Accept();
    });
  }

  pinecone_local::Service service;
  asio::io_context io;
  ssl::context tls;
  tcp::acceptor acceptor;
  uint16_t bound_port = 0;
  std::thread thread;
};

TzorPineconeLocal::TzorPineconeLocal() = default;
TzorPineconeLocal::~TzorPineconeLocal() { Stop(); }

void TzorPineconeLocal::Start(const std::string& api_key, uint16_t port) {
  Stop();
  server_ = std::make_unique<Server>(api_key, port);
}

void TzorPineconeLocal::Stop() { server_.reset(); }

bool TzorPineconeLocal::Active() const { return server_ != nullptr; }

uint16_t TzorPineconeLocal::Port() const { return server_ ? server_->bound_port : 0; }

}  // namespace zor
