#include "server/http2_server_request.h"

#include <utility>

namespace zor {

TzorHTTPServerRequest HTTP2ServerRequest(const TzorHTTP2_HeaderList& headers, std::span<const uint8_t> body) {
  TzorHTTPServerRequest request;
  request.Version = "HTTP/2";
  request.RawHeaders.reserve(headers.Count());
  for (size_t i = 0; i < headers.Count(); ++i) {
    const std::string_view name = headers.Name(i), value = headers.Value(i);
    if (name == ":method")
      request.Command = value;
    else if (name == ":path")
      request.URI = value;
    else if (name == ":authority")
      request.RawHeaders.emplace_back("host", value);
    else if (!name.starts_with(":"))
      request.RawHeaders.emplace_back(name, value);
  }
  request.PostStream.assign(reinterpret_cast<const char*>(body.data()), body.size());
  request.Complete();
  return request;
}

TzorHTTP2ResponseInfo HTTP2ResponseInfo(TzorHTTPServerResponse response) {
  TzorHTTP2ResponseInfo answer;
  answer.ResponseCode = response.ResponseNo;
  answer.RawHeaders = std::move(response.CustomHeaders);
  if (!response.ContentText.empty() || !response.ContentType.empty())
    answer.RawHeaders.insert(answer.RawHeaders.begin(), "content-type: " + response.ContentTypeValue());
  for (const TzorHTTPCookie& cookie : response.Cookies) answer.Cookies.push_back(cookie.SetCookieValue());
  answer.ContentText = std::move(response.ContentText);
  return answer;
}

}  // namespace zor
