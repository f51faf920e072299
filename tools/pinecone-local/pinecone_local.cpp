#include "tools/pinecone-local/pinecone_local.h"

#include <algorithm>
#include <mutex>

#include "base/text.h"
#include "server/http_response_writer.h"
#include "server/ws_http_server.h"
#include "tools/pinecone-local/local_routes.h"
#include "tools/pinecone-local/self_signed.h"

namespace zor {
namespace {

// An upsert of a thousand 1536-dimensional vectors is about 30 MB of JSON.
constexpr uint64_t kBodyLimit = 64ull * 1024 * 1024;
constexpr size_t kHeaderLimit = 16 * 1024;
constexpr int kIdleTimeoutMs = 60 * 1000;

void SetIdentity(TzorTLSSettings& settings, const std::string& cert_file, const std::string& key_file) {
  if (cert_file.empty()) {
    const pinecone_local::TlsIdentity identity = pinecone_local::MakeSelfSignedIdentity();
    settings.CertPEM = identity.certificate_pem;
    settings.KeyPEM = identity.private_key_pem;
  } else {
    settings.CertFile = cert_file;
    settings.KeyFile = key_file;
  }
}

pinecone_local::Request ServiceRequest(const TzorHTTPServerRequest& info) {
  pinecone_local::Request request;
  request.method = info.Command;
  request.host = info.Host;
  request.target = info.URI;
  for (const auto& [name, value] : info.RawHeaders) {
    if (SameText(name, "Api-Key") && !request.has_api_key) {
      request.has_api_key = true;
      request.api_key = value;
    }
  }
  request.api_version = info.Header("X-Pinecone-API-Version");
  request.body = info.PostStream;
  return request;
}

}  // namespace

// The service runs on the library's own server. Its handlers run on the
// server's workers; the service itself is used by one of them at a time.
struct TzorPineconeLocal::Server {
  Server(const std::string& api_key, uint16_t port, const std::string& cert_file, const std::string& key_file)
      : service(api_key, kProjectId) {
    http.SetAddress("127.0.0.1");
    http.SetPort(port);
    http.SetSSL(true);
    SetIdentity(http.SSLOptions(), cert_file, key_file);
    http.HTTPLimits().MaxBodySize = kBodyLimit;
    http.HTTPLimits().MaxHeadSize = kHeaderLimit;
    http.SetKeepAliveTimeOut(kIdleTimeoutMs);
    // HTTP/2 for the clients that offer "h2"; HTTP/1.1 for the others.
    http.SetHTTP2Enabled(true);
    http.OnSSLALPNSelect = [](TzorComponent_Base*, const std::vector<std::string>& offered, std::string& chosen) {
      if (std::find(offered.begin(), offered.end(), "http/1.1") != offered.end()) chosen = "http/1.1";
    };
    http.OnCommandGet = http.OnCommandOther = [this](TzorWSConnectionServer*, TzorHTTPServerRequest& request,
                                                    TzorHTTPServerResponse& response) { Answer(request, response); };
    // What is no HTTP request at all is refused like a malformed one.
    http.OnUnknownProtocol = [](TzorWSConnection* connection, bool&) {
      TzorHTTPServerResponse refusal;
      refusal.SetStatus(400);
      refusal.ContentType = "text/plain";
      refusal.ContentText = "Bad request";
      connection->TCPConnection()->Write(HTTPResponseBytes(refusal, false, false));
    };
    http.SetActive(true);
  }

  void Answer(const TzorHTTPServerRequest& request, TzorHTTPServerResponse& response) {
    pinecone_local::Reply reply;
    {
      std::lock_guard guard(lock);
      reply = service.Handle(ServiceRequest(request));
    }
    const bool is_json = !reply.body.empty() && (reply.body.front() == '{' || reply.body.front() == '[');
    response.SetStatus(reply.status);
    response.ContentType = is_json ? "application/json" : "text/plain";
    response.ContentText = std::move(reply.body);
  }

  std::mutex lock;
  pinecone_local::Service service;
  TzorWSHTTPServer http;
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

uint16_t TzorPineconeLocal::Port() const { return server_ ? server_->http.ListeningPort() : 0; }

}  // namespace zor
