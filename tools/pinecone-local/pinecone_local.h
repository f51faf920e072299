#pragma once
// An in-memory Pinecone-compatible service over HTTPS (HTTP/1.1, and HTTP/2
// through ALPN) on 127.0.0.1, served by
// the library's own HTTP server (TzorWSHTTPServer), for
// working offline and for tests. Clients reach it under the service's own
// host names by connecting to 127.0.0.1:Port() instead (connect-to); it tells
// the controller and the index endpoints apart by the Host header.
#include <cstdint>
#include <memory>
#include <string>

namespace zor {

class TzorPineconeLocal {
 public:
  TzorPineconeLocal();
  ~TzorPineconeLocal();
  TzorPineconeLocal(const TzorPineconeLocal&) = delete;
  TzorPineconeLocal& operator=(const TzorPineconeLocal&) = delete;

  // Listens on 127.0.0.1:`port` (0: a free port) with the certificate and
  // key of the two PEM files, or a self-signed certificate made now when no
  // files are named. Requests must carry "Api-Key: <api_key>". Starts afresh
  // with no indexes when called again after Stop. Throws when it cannot listen.
  void Start(const std::string& api_key, uint16_t port = 0, const std::string& cert_file = {},
             const std::string& key_file = {});
  // Closes every connection and forgets all data; safe to call when stopped.
  void Stop();

  bool Active() const;
  uint16_t Port() const;
  // The project id in the index host names it reports ("local").
  static constexpr const char* kProjectId = "local";

 private:
  struct Server;
  std::unique_ptr<Server> server_;
};

}  // namespace zor
