// TLS 1.3 through the buffer-based engines (OpenSSL, and the platform
// provider over GnuTLS) and the blocking connection, next to a plain OpenSSL
// SSL_read/SSL_write loop on a socket: handshakes per second, and bulk
// throughput each way. The peer is the same plain OpenSSL server thread on
// loopback for all.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>

#include "net/connection.h"
#include "net/openssl_engine.h"
#include "net/schannel_tls_context.h"

namespace {

constexpr size_t kBulk = 1 << 20;
constexpr long kWriteBatch = 64 * 1024;

// A self-signed certificate made in memory for the server.
SSL_CTX* ServerContext() {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION);
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), -60);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
  X509_set_pubkey(cert, key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(cert, X509_get_subject_name(cert));
  X509_sign(cert, key, EVP_sha256());
  SSL_CTX_use_certificate(ctx, cert);
  SSL_CTX_use_PrivateKey(ctx, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  return ctx;
}

bool ReadAll(SSL* ssl, char* data, size_t size) {
  while (size > 0) {
    size_t n = 0;
    if (SSL_read_ex(ssl, data, size, &n) != 1) return false;
    data += n;
    size -= n;
  }
  return true;
}

// Serves one connection after another: after the handshake it answers
// 'S' (take kBulk bytes, answer 'k') and 'R' (send kBulk bytes) until closed.
class PlainServer {
 public:
  PlainServer() : ctx_(ServerContext()) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 64);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~PlainServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
    SSL_CTX_free(ctx_);
  }
  uint16_t Port() const { return port_; }

 private:
  void Serve() {
    std::string buffer(kBulk, 'r');
    while (!stopping_) {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      SSL* ssl = SSL_new(ctx_);
      // Records leave in writes of kWriteBatch bytes, as a buffering server
      // sends them: one system call per record would slow the server more
      // than the clients whose receive is measured.
      BIO* socket = BIO_new_socket(fd, BIO_NOCLOSE);
      BIO* batch = BIO_new(BIO_f_buffer());
      BIO_set_write_buffer_size(batch, kWriteBatch);
      BIO_up_ref(socket);
      SSL_set_bio(ssl, socket, BIO_push(batch, socket));
      if (SSL_accept(ssl) == 1) {
        char command;
        while (ReadAll(ssl, &command, 1)) {
          if (command == 'S') {
            if (!ReadAll(ssl, buffer.data(), kBulk)) break;
            size_t n;
            SSL_write_ex(ssl, "k", 1, &n);
          } else if (command == 'R') {
            size_t n;
            SSL_write_ex(ssl, buffer.data(), kBulk, &n);
          }
          BIO_flush(SSL_get_wbio(ssl));
        }
      }
      SSL_free(ssl);
      ::close(fd);
      ERR_clear_error();
    }
  }

  SSL_CTX* ctx_;
  int listener_;
  uint16_t port_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

PlainServer& Server() {
  // The plain server writes with write(): a client gone early must not end the program.
  static const bool sigpipe_ignored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)sigpipe_ignored;
  static PlainServer server;
  return server;
}

// --- the engine, through the blocking connection -------------------------------------

std::shared_ptr<const zor::TzorTLSContext> EngineContext() {
  zor::TzorTLSSettings settings;
  settings.Version = zor::tls1_3;
  static auto context = zor::NewOpenSSLContext(settings);
  return context;
}

// The platform provider, as iohSChannel builds it (no verification).
std::shared_ptr<const zor::TzorTLSContext> PlatformContext() {
  zor::TzorSChannelSettings settings;
  settings.TLSVersion = zor::tls1_3;
  static auto context = zor::NewSChannelContext(settings);
  return context;
}

using ContextSource = std::shared_ptr<const zor::TzorTLSContext> (*)();

std::unique_ptr<zor::TzorConnection> EngineConnection(ContextSource context) {
  auto c = std::make_unique<zor::TzorConnection>();
  c->Options().Host = "127.0.0.1";
  c->Options().Port = Server().Port();
  c->SetTLS(context());
  c->Connect();
  return c;
}

void BM_Handshake_Engine(benchmark::State& state, ContextSource context) {
  for (auto _ : state) EngineConnection(context)->Disconnect();
  state.counters["handshakes/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Send_Engine(benchmark::State& state, ContextSource context) {
  auto c = EngineConnection(context);
  const std::string data = "S" + std::string(kBulk, 's');
  for (auto _ : state) {
    c->Write(data);
    c->ReadBytes(1);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulk));
}

// Into one buffer, as the plain loop below.
void BM_Receive_Engine(benchmark::State& state, ContextSource context) {
  auto c = EngineConnection(context);
  std::string buffer(kBulk, '\0');
  for (auto _ : state) {
    c->Write("R");
    c->ReadBytes(std::span(buffer));
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulk));
}

// Into a new string each time.
void BM_ReceiveString_Engine(benchmark::State& state, ContextSource context) {
  auto c = EngineConnection(context);
  for (auto _ : state) {
    c->Write("R");
    benchmark::DoNotOptimize(c->ReadBytes(kBulk));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulk));
}

// --- plain OpenSSL on a blocking socket ---------------------------------------------

struct PlainClient {
  PlainClient() {
    static SSL_CTX* ctx = [] {
      SSL_CTX* c = SSL_CTX_new(TLS_client_method());
      SSL_CTX_set_min_proto_version(c, TLS1_3_VERSION);
      SSL_CTX_set_verify(c, SSL_VERIFY_NONE, nullptr);
      return c;
    }();
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(Server().Port());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) throw std::runtime_error("connect");
    ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_connect(ssl) != 1) throw std::runtime_error("handshake");
  }
  ~PlainClient() {
    SSL_shutdown(ssl);
    SSL_free(ssl);
    ::close(fd);
  }
  int fd;
  SSL* ssl;
};

void BM_Handshake_OpenSSL(benchmark::State& state) {
  for (auto _ : state) PlainClient client;
  state.counters["handshakes/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Send_OpenSSL(benchmark::State& state) {
  PlainClient c;
  const std::string data = "S" + std::string(kBulk, 's');
  char ack;
  for (auto _ : state) {
    size_t n;
    SSL_write_ex(c.ssl, data.data(), data.size(), &n);
    ReadAll(c.ssl, &ack, 1);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulk));
}

void BM_Receive_OpenSSL(benchmark::State& state) {
  PlainClient c;
  std::string buffer(kBulk, '\0');
  for (auto _ : state) {
    size_t n;
    SSL_write_ex(c.ssl, "R", 1, &n);
    ReadAll(c.ssl, buffer.data(), kBulk);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulk));
}

BENCHMARK_CAPTURE(BM_Handshake_Engine, OpenSSLEngine, EngineContext)->UseRealTime();
BENCHMARK_CAPTURE(BM_Handshake_Engine, PlatformEngine, PlatformContext)->UseRealTime();
BENCHMARK(BM_Handshake_OpenSSL)->UseRealTime();
BENCHMARK_CAPTURE(BM_Send_Engine, OpenSSLEngine, EngineContext)->UseRealTime();
BENCHMARK_CAPTURE(BM_Send_Engine, PlatformEngine, PlatformContext)->UseRealTime();
BENCHMARK(BM_Send_OpenSSL)->UseRealTime();
BENCHMARK_CAPTURE(BM_Receive_Engine, OpenSSLEngine, EngineContext)->UseRealTime();
BENCHMARK_CAPTURE(BM_Receive_Engine, PlatformEngine, PlatformContext)->UseRealTime();
BENCHMARK(BM_Receive_OpenSSL)->UseRealTime();
BENCHMARK_CAPTURE(BM_ReceiveString_Engine, OpenSSLEngine, EngineContext)->UseRealTime();

}  // namespace
