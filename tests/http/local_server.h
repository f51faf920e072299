#pragma once
// A small HTTP(S) server of the tests' own on 127.0.0.1: it records the exact
// bytes of every request and answers with what the handler returns. TLS is
// plain OpenSSL on a blocking socket with a self-signed certificate made in
// memory, independent of the client's TLS code. Connections are served one
// after another on one thread.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zor::testing {

// A self-signed certificate for "localhost" and 127.0.0.1.
struct TestCertificate {
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;

  TestCertificate() {
    key = EVP_EC_gen("P-256");
    cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1")) {
      X509_add_ext(cert, ext, -1);
      X509_EXTENSION_free(ext);
    }
    X509_sign(cert, key, EVP_sha256());
  }
  ~TestCertificate() {
    X509_free(cert);
    EVP_PKEY_free(key);
  }
  std::string PEM() const {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<size_t>(size));
    BIO_free(bio);
    return pem;
  }
};

// A listening socket on 127.0.0.1 with a port of the system's choice.
inline int ListenOnLoopback(uint16_t& port) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 64) != 0)
    throw std::runtime_error("test server cannot listen");
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return listener;
}

class LocalServer {
 public:
  struct Request {
    std::string bytes;  // head and body exactly as received
    std::string head;
    std::string body;
  };
  // Returns the bytes to answer; `close` ends the connection after them.
  using Handler = std::function<std::string(const Request&, bool& close)>;
  // Writes the answer piece by piece; returns false once the peer is gone.
  using Streamer = std::function<void(const Request&, const std::function<bool(const std::string&)>& write)>;

  LocalServer(bool tls, Handler handler, int max_tls_version = TLS1_3_VERSION) : handler_(std::move(handler)) {
    if (tls) {
      ctx_ = SSL_CTX_new(TLS_server_method());
      SSL_CTX_use_certificate(ctx_, certificate_.cert);
      SSL_CTX_use_PrivateKey(ctx_, certificate_.key);
      SSL_CTX_set_max_proto_version(ctx_, max_tls_version);
    }
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Serve(); });
  }

  ~LocalServer() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
    if (ctx_) SSL_CTX_free(ctx_);
  }

  void SetStreamer(Streamer streamer) { streamer_ = std::move(streamer); }
  uint16_t Port() const { return port_; }
  const TestCertificate& Certificate() const { return certificate_; }
  std::vector<Request> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  int Connections() const { return connections_; }
  // Per TLS connection: the server name the client sent and the version agreed.
  std::vector<std::string> ServerNames() const {
    std::lock_guard lock(mutex_);
    return server_names_;
  }
  std::vector<std::string> TLSVersions() const {
    std::lock_guard lock(mutex_);
    return tls_versions_;
  }

 private:
  struct Conn {
    int fd;
    SSL* ssl;
    std::string pending;
    long Recv(char* buffer, int size) {
      return ssl ? SSL_read(ssl, buffer, size) : ::recv(fd, buffer, static_cast<size_t>(size), 0);
    }
    bool Send(const std::string& data) {
      size_t sent = 0;
      while (sent < data.size()) {
        const long n = ssl ? SSL_write(ssl, data.data() + sent, static_cast<int>(data.size() - sent))
                           : ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
      }
      return true;
    }
    // One request (head and Content-Length body); false when the peer closed.
    bool ReadRequest(Request& request) {
      char buffer[16384];
      size_t head_end;
      while ((head_end = pending.find("\r\n\r\n")) == std::string::npos) {
        const long n = Recv(buffer, sizeof buffer);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<size_t>(n));
      }
      request.head = pending.substr(0, head_end + 4);
      size_t length = 0;
      for (const char* name : {"\r\nContent-Length: ", "\r\ncontent-length: "}) {
        const size_t at = request.head.find(name);
        if (at != std::string::npos) length = std::stoul(request.head.substr(at + std::string(name).size()));
      }
      while (pending.size() < head_end + 4 + length) {
        const long n = Recv(buffer, sizeof buffer);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<size_t>(n));
      }
      request.body = pending.substr(head_end + 4, length);
      request.bytes = pending.substr(0, head_end + 4 + length);
      pending.erase(0, head_end + 4 + length);
      return true;
    }
  };

  void Serve() {
    while (!stop_) {
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      ++connections_;
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      Conn conn{fd, nullptr, {}};
      if (ctx_) {
        conn.ssl = SSL_new(ctx_);
        SSL_set_fd(conn.ssl, fd);
        if (SSL_accept(conn.ssl) != 1) {
          ERR_clear_error();
          SSL_free(conn.ssl);
          close(fd);
          continue;
        }
        std::lock_guard lock(mutex_);
        const char* name = SSL_get_servername(conn.ssl, TLSEXT_NAMETYPE_host_name);
        server_names_.push_back(name ? name : "");
        tls_versions_.push_back(SSL_get_version(conn.ssl));
      }
      for (Request request; !stop_ && conn.ReadRequest(request);) {
        {
          std::lock_guard lock(mutex_);
          requests_.push_back(request);
        }
        bool close_after = false;
        if (streamer_) {
          streamer_(request, [&](const std::string& data) { return conn.Send(data); });
          close_after = true;
        } else if (!conn.Send(handler_(request, close_after))) {
          close_after = true;
        }
        if (close_after) break;
      }
      if (conn.ssl) {
        SSL_shutdown(conn.ssl);
        SSL_free(conn.ssl);
      }
      close(fd);
    }
  }

  Handler handler_;
  Streamer streamer_;
  TestCertificate certificate_;
  SSL_CTX* ctx_ = nullptr;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::vector<std::string> server_names_;
  std::vector<std::string> tls_versions_;
  std::thread thread_;
};

// An HTTP CONNECT proxy on 127.0.0.1 that records each CONNECT head and
// relays bytes both ways until either side closes. One tunnel at a time.
class LocalConnectProxy {
 public:
  LocalConnectProxy() {
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LocalConnectProxy() {
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  uint16_t Port() const { return port_; }
  std::vector<std::string> Heads() const {
    std::lock_guard lock(mutex_);
    return heads_;
  }

 private:
  void Serve() {
    for (;;) {
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      std::string head;
      char buffer[16384];
      while (head.find("\r\n\r\n") == std::string::npos) {
        const long n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
      }
      {
        std::lock_guard lock(mutex_);
        heads_.push_back(head);
      }
      // "CONNECT 127.0.0.1:port HTTP/1.1": only loopback targets are relayed.
      const size_t colon = head.find(':'), space = head.find(' ', 8);
      const int target = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      addr.sin_port = htons(static_cast<uint16_t>(std::stoi(head.substr(colon + 1, space - colon - 1))));
      if (head.rfind("CONNECT 127.0.0.1:", 0) != 0 ||
          connect(target, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const std::string refused = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n";
        ::send(client, refused.data(), refused.size(), MSG_NOSIGNAL);
      } else {
        const std::string ok = "HTTP/1.1 200 Connection established\r\n\r\n";
        ::send(client, ok.data(), ok.size(), MSG_NOSIGNAL);
        Relay(client, target);
      }
      close(target);
      close(client);
    }
  }
  static void Relay(int a, int b) {
    pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    char buffer[16384];
    while (poll(fds, 2, 5000) > 0) {
      for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const long n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
        if (n <= 0 || ::send(fds[1 - i].fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) return;
      }
    }
  }

  int listener_ = -1;
  uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> heads_;
  std::thread thread_;
};

// An answer with a body and Content-Length.
inline std::string Answer(const std::string& status, const std::string& body, const std::string& extra = {}) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

}  // namespace zor::testing
