#include "http/response_reader.h"

#include <boost/beast/http/basic_parser.hpp>
#include <boost/beast/http/error.hpp>

#include "base/format.h"
#include "http/header_lines.h"
#include "http/http_exceptions.h"

namespace zor {

namespace http = boost::beast::http;
using boost::beast::error_code;
using boost::beast::string_view;

std::string TzorHTTPResponseHead::Field(std::string_view name) const {
  for (const auto& [field_name, value] : fields)
    if (SameHeaderName(field_name, name)) return value;
  return {};
}

namespace {

class Parser : public http::basic_parser<false> {
 public:
  Parser(const TzorHTTPResponseLimits& limits, TzorHTTPResponseHead& head, const TzorHTTPResponseReader::BodySink& sink)
      : head_(head), sink_(sink) {
    header_limit(static_cast<uint32_t>(std::min<size_t>(limits.max_header_bytes, UINT32_MAX)));
    body_limit(limits.max_body_bytes ? boost::optional<uint64_t>(*limits.max_body_bytes) : boost::none);
    eager(true);
    head_ = TzorHTTPResponseHead{};
  }

 private:
  void on_request_impl(http::verb, string_view, string_view, int, error_code& ec) override {
    ec = http::error::bad_method;
  }
  void on_response_impl(int code, string_view reason, int version, error_code&) override {
    head_.status = code;
    head_.version = version;
    head_.reason = std::string(reason);
    head_.status_line = Format("HTTP/%d.%d %d", version / 10, version % 10, code);
    if (!reason.empty()) head_.status_line += " " + head_.reason;
  }
  void on_field_impl(http::field, string_view name, string_view value, error_code&) override {
    head_.fields.emplace_back(std::string(name), std::string(value));
  }
  void on_header_impl(error_code&) override { head_.keep_alive = keep_alive(); }
  void on_body_init_impl(const boost::optional<uint64_t>&, error_code&) override {}
  size_t on_body_impl(string_view body, error_code&) override {
    if (sink_ && !body.empty()) sink_(std::string_view(body.data(), body.size()));
    return body.size();
  }
  void on_chunk_header_impl(uint64_t, string_view, error_code&) override {}
  size_t on_chunk_body_impl(uint64_t, string_view body, error_code& ec) override { return on_body_impl(body, ec); }
  void on_finish_impl(error_code&) override {}

  TzorHTTPResponseHead& head_;
  const TzorHTTPResponseReader::BodySink& sink_;
};

[[noreturn]] void Fail(const error_code& ec, const TzorHTTPResponseLimits& limits) {
  if (ec == http::error::header_limit)
    throw EzorHTTPClientError(Format("Response header block exceeds %zu bytes", limits.max_header_bytes));
  if (ec == http::error::body_limit)
    throw EzorHTTPClientError(
        Format("Response body exceeds %llu bytes", static_cast<unsigned long long>(limits.max_body_bytes.value_or(0))));
  if (ec == http::error::partial_message)
    throw EzorHTTPClientError("Connection closed before the response was complete");
  throw EzorHTTPClientError("Malformed HTTP response: " + ec.message());
}

}  // namespace

struct TzorHTTPResponseReader::Impl {
  TzorHTTPResponseLimits limits;
  BodySink sink;
  TzorHTTPResponseHead head;
  std::optional<Parser> parser;
  std::string pending;  // bytes the parser has not consumed yet
  bool done = false;

  void Start() { parser.emplace(limits, head, sink); }

  void Parse() {
    size_t offset = 0;
    while (!done && offset < pending.size()) {
      error_code ec;
      const size_t used = parser->put(boost::asio::buffer(pending.data() + offset, pending.size() - offset), ec);
      offset += used;
      if (ec == http::error::need_more) break;
      if (ec) Fail(ec, limits);
      if (parser->is_done()) {
        // An interim answer (100 Continue, 103 Early Hints) precedes the real one.
        if (head.status >= 100 && head.status < 200 && head.status != 101) {
          Start();
        } else {
          done = true;
        }
      } else if (used == 0) {
        break;
      }
    }
    pending.erase(0, offset);
  }
};

TzorHTTPResponseReader::TzorHTTPResponseReader(TzorHTTPResponseLimits limits, BodySink sink)
    : impl_(std::make_unique<Impl>()) {
  impl_->limits = std::move(limits);
  impl_->sink = std::move(sink);
  impl_->Start();
}

TzorHTTPResponseReader::~TzorHTTPResponseReader() = default;

void TzorHTTPResponseReader::Put(std::string_view bytes) {
  impl_->pending.append(bytes);
  if (!impl_->done) impl_->Parse();
}

void TzorHTTPResponseReader::PutEOF() {
  if (impl_->done) return;
  if (!impl_->parser->got_some()) throw EzorHTTPClientError("Connection closed before the response was complete");
  error_code ec;
  impl_->parser->put_eof(ec);
  if (ec) Fail(ec, impl_->limits);
  impl_->done = impl_->parser->is_done();
  if (!impl_->done) throw EzorHTTPClientError("Connection closed before the response was complete");
}

bool TzorHTTPResponseReader::HeadDone() const { return impl_->done || (impl_->parser->is_header_done() && impl_->head.status >= 200); }
bool TzorHTTPResponseReader::Done() const { return impl_->done; }
const TzorHTTPResponseHead& TzorHTTPResponseReader::Head() const { return impl_->head; }
bool TzorHTTPResponseReader::BodyUntilClose() const { return impl_->parser->need_eof(); }
size_t TzorHTTPResponseReader::Leftover() const { return impl_->done ? impl_->pending.size() : 0; }

}  // namespace zor
