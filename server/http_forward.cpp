#include "server/http_forward.h"

#include "base/streams.h"
#include "base/text.h"
#include "http/http_client.h"
#include "http/http_exceptions.h"

namespace zor {

namespace {

// The lines the HTTP client sets itself, which a request never carries twice.
constexpr std::string_view kClientLines[] = {
    "Cache-control", "Connection",   "Content-Version", "Content-Disposition", "Content-Encoding", "Content-Language",
    "Content-Type",  "Content-Length", "Content-Range", "Date",                "Last-Modified",    "Expires",
    "ETag",          "Pragma",       "Transfer-Encoding", "Location",          "Server",           "Proxy-Connection",
    "WWW-Authenticate", "Proxy-Authenticate", "Accept-Patch", "Accept-Ranges"};
// Lines that belong to one hop only (RFC 9110 7.6.1), and the request's own Host.
constexpr std::string_view kHopLines[] = {"Keep-Alive", "TE",   "Trailer", "Upgrade", "Proxy-Authorization",
                                          "Expect",     "Host"};

template <size_t N>
bool Listed(std::string_view name, const std::string_view (&list)[N]) {
  for (std::string_view listed : list)
    if (SameText(name, listed)) return true;
  return false;
}

}  // namespace

TzorWSServerForwardHTTP::TzorWSServerForwardHTTP() = default;
TzorWSServerForwardHTTP::~TzorWSServerForwardHTTP() = default;

TzorIdHTTPTLS_Options& TzorWSServerForwardHTTP::TLSOptions() {
  if (!FTLSOptions) FTLSOptions = std::make_unique<TzorIdHTTPTLS_Options>();
  return *FTLSOptions;
}

bool IsLineNotForwarded(std::string_view name, const TzorHTTPFields& fields) {
  if (Listed(name, kClientLines) || Listed(name, kHopLines)) return true;
  for (const auto& [field, value] : fields) {
    if (!SameText(field, "Connection")) continue;
    std::string_view tokens = value;
    while (!tokens.empty()) {
      const size_t comma = tokens.find(',');
      if (SameText(TrimBlanks(tokens.substr(0, comma)), name)) return true;
      tokens = comma == std::string_view::npos ? std::string_view() : tokens.substr(comma + 1);
    }
  }
  return false;
}

void ForwardHTTPRequest(TzorWSServerForwardHTTP& forward, const TzorHTTPServerRequest& request,
                        TzorHTTPServerResponse& response) {
  TzorIdHTTP client;
  if (forward.FTLSOptions) client.SetTLSOptions(*forward.FTLSOptions);
  client.SetHandleRedirects(false);
  client.Request().Accept.clear();
  client.Request().ContentType = request.ContentType;
  for (const auto& [name, value] : request.RawHeaders)
    if (!IsLineNotForwarded(name, request.RawHeaders)) client.Request().CustomHeaders.Add(name + ": " + value);
  client.Request().CustomHeaders.Add("X-Forwarded-For: " + request.RemoteIP);
  if (!request.Host.empty()) client.Request().CustomHeaders.Add("X-Forwarded-Host: " + request.Host);

  TzorStringStream answer;
  const std::string url = forward.URL + forward.Document;
  const std::string& command = request.Command;
  try {
    if (command == "GET" || command == "HEAD") {
      client.Get(url, answer);
    } else if (command == "POST") {
      client.Post(url, TzorStringStream(request.PostStream), answer);
    } else if (command == "PUT") {
      answer.Write(client.Put(url, TzorStringStream(request.PostStream)));
    } else if (command == "PATCH") {
      answer.Write(client.Patch(url, TzorStringStream(request.PostStream)));
    } else if (command == "DELETE") {
      answer.Write(request.PostStream.empty() ? client.Delete(url) : client.Delete(url, request.PostStream));
    } else {
      response.SetStatus(501);
      return;
    }
    response.ContentText = answer.DataString();
  } catch (const EIdHTTPProtocolException& e) {
    response.ContentText = e.ErrorMessage();
  }
  const TzorHTTPResponseHead& head = client.Response();
  response.SetStatus(head.status, head.reason);
  response.ContentType = head.Field("Content-Type");
  for (const auto& [name, value] : head.fields)
    if (!IsLineNotForwarded(name, head.fields)) response.CustomHeaders.push_back(name + ": " + value);
}

}  // namespace zor
