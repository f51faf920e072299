#pragma once
// The HTTP/1.x side of a connection after its first request head: requests
// are read as bytes arrive, answered in order through the handler, kept
// alive while both sides want it, and refused with 400, 413 or 431 and a
// close when they are malformed or too large.
#include <functional>
#include <string>

#include "server/http_request_reader.h"

namespace zor {

class TzorTransport;

// Reads and answers the HTTP/1.x requests of one connection.
class TzorHTTP1RequestLoop {
 public:
  // Fills the response; an exception becomes a 500 answer and is reported.
  using Handler = std::function<void(TzorHTTPServerRequest& request, TzorHTTPServerResponse& response)>;
  using ErrorHandler = std::function<void(const std::string& message)>;

  TzorHTTP1RequestLoop(TzorHTTPRequestLimits limits, bool keepAlive, Handler handler, ErrorHandler onError);

  // Takes what the transport has buffered and answers every complete
  // request in it. Returns false once the connection is closing.
  bool OnBytes(TzorTransport& transport);

 private:
  void Answer(TzorTransport& transport, TzorHTTPServerRequest& request);
  void Refuse(TzorTransport& transport);

  TzorHTTPRequestReader reader_;
  bool keepAlive_;
  Handler handler_;
  ErrorHandler onError_;
  bool closing_ = false;
};

}  // namespace zor
