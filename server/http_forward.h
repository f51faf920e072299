#pragma once
// Requests passed on to another HTTP server through the library's HTTP
// client, and its answer passed back byte for byte: without hop-by-hop
// header lines, and without following redirects (a redirect goes back to
// the client), so the client's credentials reach no host but the one the
// request was forwarded to.
#include <memory>
#include <string>

#include "server/http_server_request.h"

namespace zor {

class TzorIdHTTPTLS_Options;

// Where OnBeforeForwardHTTP sends a request: URL + Document.
class TzorWSServerForwardHTTP {
 public:
  TzorWSServerForwardHTTP();
  ~TzorWSServerForwardHTTP();
  bool Enabled = false;
  std::string Document;  // the request's document; the handler may change it
  std::string URL;       // "http://backend:8080"
  // The HTTP client's TLS options for an https URL; created on first use.
  TzorIdHTTPTLS_Options& TLSOptions();

 private:
  std::unique_ptr<TzorIdHTTPTLS_Options> FTLSOptions;
  friend void ForwardHTTPRequest(TzorWSServerForwardHTTP& forward, const TzorHTTPServerRequest& request,
                                 TzorHTTPServerResponse& response);
};

// Whether a header line of a request or an answer belongs to one hop only:
// the hop-by-hop lines, those the message's Connection line names, and the
// framing lines that each side writes for itself.
bool IsHopByHopLine(std::string_view name, const TzorHTTPFields& fields);

// Repeats the request at the forward address and makes its answer the
// response: GET, HEAD (as GET; the body is left out when answering), POST,
// PUT, PATCH and DELETE; other methods are answered 501. Raises what the HTTP
// client raises when there is no answer at all; an answer with an error
// status becomes the response like any other.
void ForwardHTTPRequest(TzorWSServerForwardHTTP& forward, const TzorHTTPServerRequest& request,
                        TzorHTTPServerResponse& response);

}  // namespace zor
