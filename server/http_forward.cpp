#include "server/http_forward.h"

#include "base/streams.h"
#include "base/text.h"
#include "http/http_client.h"
#include "http/http_exceptions.h"

namespace zor {

namespace {

// Lines that belong to one hop only (RFC 9110 7.6.1), and the framing each
// side writes for itself.
constexpr std::string_view kHopLines[] = {"Connection", "Keep-Alive",          "Proxy-Connection",   "TE",
                                          "Trailer",    "Transfer-Encoding",   "Upgrade",            "Content-Length",
                                          "Content-Type", "Proxy-Authorization", "Proxy-Authenticate"};
// Lines of the request that are about this hop: the peer gets its own Host,
// and 100-continue was answered here.
constexpr std::string_view kOwnRequestLines[] = {"Host", "Expect"};
// The answer's line that the server writes itself.
constexpr std::string_view kOwnAnswerLines[] = {"Server"};

template <size_t N>
bool Listed(std::string_view name, const std::string_view (&list)[N]) {
  for (std::string_view listed : list)
    if (SameText(name, listed)) return true;
  return false;
}

// Whether the message's Connection line names the line.
bool NamedByConnection(std::string_view name, const TzorHTTPFields& fields) {
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

}  // namespace

TzorWSServerForwardHTTP::TzorWSServerForwardHTTP() = default;
TzorWSServerForwardHTTP::~TzorWSServerForwardHTTP() = default;

TzorIdHTTPTLS_Options& TzorWSServerForwardHTTP::TLSOptions() {
  if (!FTLSOptions) FTLSOptions = std::make_unique<TzorIdHTTPTLS_Options>();
  return *FTLSOptions;
}

bool IsHopByHopLine(std::string_view name, const TzorHTTPFields& fields) {
  return Listed(name, kHopLines) || NamedByConnection(name, fields);
}

void ForwardHTTPRequest(TzorWSServerForwardHTTP& forward, const TzorHTTPServerRequest& request,
                        TzorHTTPServerResponse& response) {
  TzorIdHTTP client;
  if (forward.FTLSOptions) client.SetTLSOptions(*forward.FTLSOptions);
  client.SetHandleRedirects(false);
  client.Request().Accept.clear();
  client.Request().ContentType = request.ContentType;
  for (const auto& [name, value] : request.RawHeaders)
    if (!IsHopByHopLine(name, request.RawHeaders) && !Listed(name, kOwnRequestLines))
      client.Request().CustomHeaders.Add(name + ": " + value);
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
      client.Put(url, TzorStringStream(request.PostStream), answer);
    } else if (command == "PATCH") {
      client.Patch(url, TzorStringStream(request.PostStream), answer);
    } else if (command == "DELETE") {
      client.Delete(url, TzorStringStream(request.PostStream), answer);
    } else {
      response.SetStatus(501);
      return;
    }
    response.ContentText = answer.DataString();
  } catch (const EIdHTTPProtocolException& e) {
    response.ContentText = e.ErrorContent();
  }
  const TzorHTTPResponseHead& head = client.Response();
  response.SetStatus(head.status, head.reason);
  response.ContentType = head.Field("Content-Type");
  for (const auto& [name, value] : head.fields)
    if (!IsHopByHopLine(name, head.fields) && !Listed(name, kOwnAnswerLines))
      response.CustomHeaders.push_back(name + ": " + value);
}

}  // namespace zor
