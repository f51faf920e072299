#include "server/http_request_reader.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <optional>

namespace zor {

namespace http = boost::beast::http;

struct TzorHTTPRequestReader::Impl {
  explicit Impl(TzorHTTPRequestLimits l) : limits(l) { Reset(); }

  void Reset() {
    parser.emplace();
    parser->header_limit(static_cast<uint32_t>(std::min<size_t>(limits.MaxHeadSize, UINT32_MAX)));
    parser->body_limit(limits.MaxBodySize);
    parser->eager(true);
    headChecked = false;
    continued = false;
  }

  TzorHTTPRequestLimits limits;
  std::string pending;
  std::optional<http::request_parser<http::string_body>> parser;
  bool headChecked = false;
  bool continued = false;
};

TzorHTTPRequestReader::TzorHTTPRequestReader(TzorHTTPRequestLimits limits)
    : impl_(std::make_unique<Impl>(limits)) {}

TzorHTTPRequestReader::~TzorHTTPRequestReader() = default;

void TzorHTTPRequestReader::Append(std::string_view bytes) {
  if (failureStatus_ == 0) impl_->pending.append(bytes);
}

size_t TzorHTTPRequestReader::Pending() const { return impl_->pending.size(); }

TzorHTTPRequestReader::TStep TzorHTTPRequestReader::Next() {
  if (failureStatus_ != 0) return stFailed;
  Impl& m = *impl_;
  auto fail = [&](int status, std::string reason) {
    failureStatus_ = status;
    failureReason_ = std::move(reason);
    m.pending.clear();
    return stFailed;
  };
  size_t used = 0;
  TStep step = stNeedMore;
  while (step == stNeedMore) {
    boost::beast::error_code ec;
    size_t n = 0;
    if (used < m.pending.size())
      n = m.parser->put(boost::asio::buffer(m.pending.data() + used, m.pending.size() - used), ec);
    used += n;
    if (ec == http::error::header_limit) return fail(431, "Request head too large");
    if (ec == http::error::body_limit) return fail(413, "Request body too large");
    if (ec && ec != http::error::need_more) return fail(400, "Malformed request: " + ec.message());
    if (m.parser->is_header_done() && !m.headChecked) {
      m.headChecked = true;
      const auto& head = m.parser->get();
      if (static_cast<size_t>(std::distance(head.begin(), head.end())) > m.limits.MaxHeaderCount)
        return fail(431, "Too many header fields");
    }
    if (m.parser->is_done()) {
      step = stRequest;
    } else if (m.parser->is_header_done() && !m.continued && m.parser->get().version() >= 11 &&
               boost::beast::iequals(m.parser->get()[http::field::expect], "100-continue")) {
      m.continued = true;
      step = stContinue;
    } else if (ec == http::error::need_more || n == 0 || used >= m.pending.size()) {
      break;
    }
  }
  m.pending.erase(0, used);
  return step;
}

TzorHTTPServerRequest TzorHTTPRequestReader::TakeRequest() {
  Impl& m = *impl_;
  http::request<http::string_body> message = m.parser->release();
  m.Reset();
  TzorHTTPServerRequest request;
  request.Command = std::string(message.method_string());
  request.Version = message.version() >= 11 ? "HTTP/1.1" : "HTTP/1.0";
  request.URI = std::string(message.target());
  for (const auto& field : message) request.RawHeaders.emplace_back(field.name_string(), field.value());
  request.KeepAlive = message.keep_alive();
  request.PostStream = std::move(message.body());
  request.Complete();
  return request;
}

}  // namespace zor
