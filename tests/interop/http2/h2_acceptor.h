#pragma once
// A small HTTP/2 acceptor of the tests' own on net/: TLS with ALPN "h2", or
// cleartext with prior knowledge. Each connection gets a server session whose
// output goes to the connection and whose requests are answered by path:
//   /size/N   N octets of 'x'
//   /echo     the request body back (POST)
//   /push     a page, pushing /pushed.css when the client allows it
//   anything else: "hello"
#include "http2/session.h"
#include "net/openssl_engine.h"
#include "tests/net/async_test_server.h"
#include "tests/net/test_pki.h"

#include <atomic>
#include <memory>
#include <string>

namespace zor::test {

class H2Acceptor {
 public:
  explicit H2Acceptor(bool tls)
      : server_(tls ? NewOpenSSLContext(TLSSettings()) : nullptr,
                [this](TzorAsyncConnection& connection, TzorAsyncConnection::Handlers& handlers) {
                  Setup(connection, handlers);
                }) {}

  uint16_t Port() const { return server_.Port(); }
  const std::string& CAFile() const { return ca_; }
  // Requests answered, over all connections.
  uint64_t Requests() const { return requests_; }
  uint64_t GoAways() const { return goAways_; }

 private:
  TzorTLSSettings TLSSettings() {
    TzorTLSSettings settings = pki_.ServerSettings();
    settings.ALPNSelector = [](const std::vector<std::string>& offered, std::string& chosen) {
      for (const std::string& protocol : offered)
        if (protocol == "h2") {
          chosen = protocol;
          return true;
        }
      return false;
    };
    return settings;
  }

  void Setup(TzorAsyncConnection& connection, TzorAsyncConnection::Handlers& handlers) {
    auto session = std::make_shared<TzorHTTP2Session>();
    session->Scheme = "http";
    session->OnHTTP2WriteBytes = [&connection](TzorHTTP2Session&, std::span<const uint8_t> bytes) {
      connection.Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    };
    session->OnHTTP2Disconnect = [this, &connection](TzorHTTP2Session&) {
      ++goAways_;
      connection.Disconnect();
    };
    session->OnHTTP2Request = [this](TzorHTTP2Session& s, const TzorHTTP2_HeaderList& headers,
                                     std::span<const uint8_t> body, int32_t request, int32_t push,
                                     TzorStringStream*) { Answer(s, headers, body, request, push); };
    handlers.OnReady = [session](TzorAsyncConnection&) { session->StartHTTP2(); };
    handlers.OnData = [session](TzorAsyncConnection& c) {
      std::string bytes;
      c.ReadFromBuffer(bytes, SIZE_MAX);
      session->ReadHTTP2Data(bytes);
    };
  }

  void Answer(TzorHTTP2Session& s, const TzorHTTP2_HeaderList& headers, std::span<const uint8_t> body,
              int32_t request, int32_t push) {
    ++requests_;
    const std::string path(headers.Find(":path").value_or(""));
    TzorHTTP2ResponseInfo response;
    response.RawHeaders = {"content-type: text/plain"};
    std::vector<std::string> links;
    if (path.rfind("/size/", 0) == 0) {
      response.ContentStream = TBytes(std::stoul(path.substr(6)), 'x');
    } else if (path == "/echo") {
      response.ContentStream = TBytes(body.begin(), body.end());
    } else if (path == "/push") {
      response.ContentText = "page";
      links = {"/pushed.css"};
    } else if (path == "/pushed.css") {
      response.ContentText = "pushed";
    } else {
      response.ContentText = "hello";
    }
    s.SendHTTP2Response("localhost", response, push, request, links.empty() ? nullptr : &links);
  }

  TestPKI pki_;
  const std::string ca_ = pki_.CAFile();
  std::atomic<uint64_t> requests_{0}, goAways_{0};
  AsyncTestServer server_;
};

}  // namespace zor::test
