#include "http/http_client.h"

#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>

#include "base/bytes.h"
#include "base/format.h"
#include "http/charset.h"
#include "http/http_exceptions.h"
#include "http/request_writer.h"
#include "net/connection.h"
#include "net/traffic_log.h"

namespace zor {

namespace {

constexpr const char* kUserAgent = "Mozilla/5.0 (zorWebSockets 2023.6.0)";

bool IsRedirect(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A net/ connection as the client's byte stream.
class ConnectionStream : public TzorHTTPStream {
 public:
  explicit ConnectionStream(std::unique_ptr<TzorConnection> connection) : connection_(std::move(connection)) {}
  ~ConnectionStream() override { connection_->Disconnect(); }
  void Write(std::string_view bytes) override { connection_->Write(bytes); }
  size_t Read(char* buffer, size_t size) override {
    scratch_.clear();
    const size_t n = connection_->ReadSome(scratch_, size);
    scratch_.copy(buffer, n);
    return n;
  }
  TzorConnection& Connection() { return *connection_; }

 private:
  std::unique_ptr<TzorConnection> connection_;
  std::string scratch_;
};

}  // namespace

struct TzorIdHTTP::Target {
  std::string url;
  bool tls = false;
  std::string host;       // without brackets
  std::string host_line;  // Host line value: brackets for IPv6, port when not the default
  uint16_t port = 0;
  std::string path;  // origin form with the query

  static Target Parse(const std::string& url) {
    auto parsed = boost::urls::parse_uri(url);
    if (!parsed) throw EzorHTTPClientError("Invalid URL: " + url);
    const boost::urls::url_view& u = *parsed;
    Target t;
    t.url = url;
    const std::string scheme = Lower(std::string(u.scheme()));
    if (scheme == "https") t.tls = true;
    else if (scheme != "http") throw EzorHTTPClientError("Unsupported protocol in URL: " + url);
    t.host = std::string(u.encoded_host_address());
    if (t.host.empty()) throw EzorHTTPClientError("No host in URL: " + url);
    const uint16_t default_port = t.tls ? 443 : 80;
    t.port = u.has_port() ? u.port_number() : default_port;
    if (u.has_port() && t.port == 0) throw EzorHTTPClientError("Invalid port in URL: " + url);
    t.host_line = u.host_type() == boost::urls::host_type::ipv6 ? "[" + t.host + "]" : t.host;
    if (t.port != default_port) t.host_line += ":" + std::to_string(t.port);
    t.path = std::string(u.encoded_path());
    if (t.path.empty()) t.path = "/";
    if (u.has_query()) t.path += "?" + std::string(u.encoded_query());
    return t;
  }

  // The absolute URL a Location value points to, seen from this one.
  std::string Resolve(const std::string& location) const {
    auto base = boost::urls::parse_uri(url);
    auto ref = boost::urls::parse_uri_reference(location);
    if (!base || !ref) throw EzorHTTPClientError("Invalid redirect location: " + location);
    boost::urls::url resolved;
    if (auto ok = boost::urls::resolve(*base, *ref, resolved); !ok)
      throw EzorHTTPClientError("Invalid redirect location: " + location);
    resolved.remove_fragment();
    return std::string(resolved.buffer());
  }
};

// Routes a source's events to the client while it lives; the destructor
// cuts the link under the same lock, so a late event cannot reach a dead client.
struct TzorIdHTTP::TokenRelay {
  std::mutex mutex;
  TzorIdHTTP* client = nullptr;
};

TzorIdHTTP::TzorIdHTTP(TzorComponent_Base* owner)
    : TzorHTTPComponentClient_Base(owner), token_relay_(std::make_shared<TokenRelay>()) {
  request_.UserAgent = kUserAgent;
  token_relay_->client = this;
}

TzorIdHTTP::~TzorIdHTTP() {
  {
    std::lock_guard lock(token_relay_->mutex);
    token_relay_->client = nullptr;
  }
  Disconnect();
}

void TzorIdHTTP::Disconnect() { stream_.reset(); }

void TzorIdHTTP::SetLog(bool on) {
  if (log_ && !on && log_intercept_) {
    if (auto* kept = dynamic_cast<ConnectionStream*>(stream_.get())) kept->Connection().ClearIntercepts();
    log_intercept_.reset();
  }
  log_ = on;
}

// ---- verbs -------------------------------------------------------------

std::string TzorIdHTTP::TextRequest(const std::string& method, const std::string& url, const std::string* body,
                                    const std::string& content_type) {
  std::string bytes;
  Perform(method, url, body, content_type, [&](std::string_view piece) { bytes.append(piece); });
  return DecodeBodyText(bytes, CharsetOfContentType(response_.Field("Content-Type")));
}

std::string TzorIdHTTP::Get(const std::string& aURL) { return TextRequest("GET", aURL, nullptr); }

void TzorIdHTTP::Get(const std::string& aURL, TzorStringStream& aResponse) {
  Perform("GET", aURL, nullptr, {}, [&](std::string_view piece) { aResponse.Write(piece); });
}

void TzorIdHTTP::Post(const std::string& aURL, const TzorStringStream& aSource, TzorStringStream& aResponse) {
  Perform("POST", aURL, &aSource.DataString(), {}, [&](std::string_view piece) { aResponse.Write(piece); });
}

std::string TzorIdHTTP::Post(const std::string& aURL, const TzorMultipartFormData& aFormData) {
  const std::string body = aFormData.Body();
  return TextRequest("POST", aURL, &body, aFormData.ContentType());
}

std::string TzorIdHTTP::Put(const std::string& aURL, const TzorStringStream& aSource) {
  return TextRequest("PUT", aURL, &aSource.DataString());
}

void TzorIdHTTP::Put(const std::string& aURL, const TzorStringStream& aSource, TzorStringStream& aResponse) {
  Perform("PUT", aURL, &aSource.DataString(), {}, [&](std::string_view piece) { aResponse.Write(piece); });
}

std::string TzorIdHTTP::Patch(const std::string& aURL, const TzorStringStream& aSource) {
  return TextRequest("PATCH", aURL, &aSource.DataString());
}

void TzorIdHTTP::Patch(const std::string& aURL, const TzorStringStream& aSource, TzorStringStream& aResponse) {
  Perform("PATCH", aURL, &aSource.DataString(), {}, [&](std::string_view piece) { aResponse.Write(piece); });
}

std::string TzorIdHTTP::Delete(const std::string& aURL) { return TextRequest("DELETE", aURL, nullptr); }

std::string TzorIdHTTP::Delete(const std::string& aURL, const std::string& aBody) {
  return TextRequest("DELETE", aURL, &aBody);
}

void TzorIdHTTP::Delete(const std::string& aURL, const TzorStringStream& aSource, TzorStringStream& aResponse) {
  const std::string& body = aSource.DataString();
  Perform("DELETE", aURL, body.empty() ? nullptr : &body, {}, [&](std::string_view piece) { aResponse.Write(piece); });
}

void TzorIdHTTP::GetSSE(const std::string& aURL, const std::string& aCharset) {
  request_.Accept = "text/event-stream";
  if (!aCharset.empty()) request_.Accept += ";charset=UTF-8";
  request_.CacheControl = "no-store";
  sse_cancelled_ = false;
  sse_utf8_ = !aCharset.empty();
  sse_carry_.clear();
  Perform("GET", aURL, nullptr, {}, [this](std::string_view piece) {
    if (!sse_cancelled_) DoOnSSEWrite(piece);
  }, true);
}

void TzorIdHTTP::DoOnSSEWrite(std::string_view aBuffer) {
  if (!OnSSEMessage) return;
  std::string message;
  if (sse_utf8_) {
    // UTF-8 was asked for: decode it, keeping a split sequence for the next piece.
    sse_carry_.append(aBuffer);
    const size_t complete = CompleteUTF8Prefix(sse_carry_);
    message = DecodeBodyText(std::string_view(sse_carry_).substr(0, complete), "utf-8");
    sse_carry_.erase(0, complete);
  } else {
    message = BytesToText(TBytes(aBuffer.begin(), aBuffer.end()));
  }
  bool cancel = false;
  OnSSEMessage(this, message, cancel);
  if (cancel) sse_cancelled_ = true;
}

// ---- the request hook and the exchange ---------------------------------

void TzorIdHTTP::DoRequest(const std::string&, const std::string& url) {
  DoApplyAuthToken();
  if (log_ && !log_intercept_) {
    auto intercept = std::make_shared<TzorIdLogFileClient>();
    intercept->SetFileName(log_options_.FileName());
    intercept->SetReplaceCRLF(false);
    intercept->SetActive(true);
    log_intercept_ = std::move(intercept);
    Disconnect();  // the next connection carries the log from its start
  } else if (!log_ && log_intercept_) {
    SetLog(false);
  }
  ChooseTransport(Lower(std::string_view(url).substr(0, 5)) == "https");
  TzorProxySettings proxy;
  if (proxy_.Enabled()) proxy = ProxySettings(proxy_);
  if (proxy.Enabled != proxy_settings_.Enabled || proxy.ProxyType != proxy_settings_.ProxyType ||
      proxy.Host != proxy_settings_.Host || proxy.Port != proxy_settings_.Port ||
      proxy.Username != proxy_settings_.Username || proxy.Password != proxy_settings_.Password)
    Disconnect();
  proxy_settings_ = proxy;
}

void TzorIdHTTP::ChooseTransport(bool tls) {
  if (tls) {
    if (!tls_handler_) {
      tls_handler_ = NewClientTLSContext(tls_options_, [this] {
        std::string password;
        DoOnGetPassword(password);
        return password;
      });
    }
  } else if (tls_handler_) {
    Disconnect();
    tls_handler_.reset();
  }
}

void TzorIdHTTP::DoOnGetPassword(std::string& aPassword) { aPassword = tls_options_.Password(); }

void TzorIdHTTP::Perform(const std::string& method, const std::string& url, const std::string* body,
                         const std::string& content_type, const BodySink& sink, bool stream_body) {
  DoRequest(method, url);
  Target target = Target::Parse(url);
  std::string current_method = method;
  const std::string* current_body = body;
  TzorHeaderLines extra_lines = request_.CustomHeaders;
  for (int redirects = 0;; ++redirects) {
    std::string other_body;  // error and redirect bodies
    Exchange(current_method, target, current_body, content_type, extra_lines, sink, other_body, stream_body);
    if (sse_cancelled_) return;
    const int status = response_.status;
    const std::string location = response_.Field("Location");
    if (handle_redirects_ && IsRedirect(status) && !location.empty()) {
      if (redirects >= redirect_maximum_)
        throw EzorHTTPClientError(Format("Too many redirects (more than %d)", redirect_maximum_));
      Target next = Target::Parse(target.Resolve(location));
      if (next.tls != target.tls) ChooseTransport(next.tls);
      if (status == 303 || ((status == 301 || status == 302) && current_method == "POST")) {
        current_method = "GET";
        current_body = nullptr;
      }
      // Credentials meant for one site are not handed to another.
      if (next.host != target.host || next.port != target.port || next.tls != target.tls) {
        for (size_t i = extra_lines.Count(); i-- > 0;) {
          std::string_view name, value;
          if (SplitHeaderLine(extra_lines[i], name, value) &&
              (SameHeaderName(name, "Authorization") || SameHeaderName(name, "Cookie")))
            extra_lines.Delete(i);
        }
      }
      target = std::move(next);
      continue;
    }
    if (status >= 400) {
      std::string text = DecodeBodyText(other_body, CharsetOfContentType(response_.Field("Content-Type")));
      throw EIdHTTPProtocolException(response_.status_line, status, std::move(text), std::move(other_body));
    }
    return;
  }
}

TzorHTTPEndpoint TzorIdHTTP::EndpointOf(const Target& target) const {
  TzorHTTPEndpoint endpoint{target.host, target.port, target.tls, target.host, target.port};
  for (const TzorConnectTo& rule : connect_to_) {
    if ((!rule.host.empty() && !SameHeaderName(rule.host, target.host)) || (rule.port != 0 && rule.port != target.port))
      continue;
    if (!rule.to_host.empty()) endpoint.connect_host = rule.to_host;
    if (rule.to_port != 0) endpoint.connect_port = rule.to_port;
    break;
  }
  return endpoint;
}

void TzorIdHTTP::Exchange(const std::string& method, const Target& target, const std::string* body,
                          const std::string& content_type, const TzorHeaderLines& extra_lines, const BodySink& sink,
                          std::string& other_body, bool stream_body) {
  TzorHTTPRequestHead head;
  head.method = method;
  head.target = target.path;
  head.host = target.host_line;
  head.http11 = protocol_version_ == pv1_1 && (method != "POST" || http_options_.contains(hoKeepOrigProtocol));
  if (body || method == "POST" || method == "PUT" || method == "PATCH") head.content_length = body ? body->size() : 0;
  head.content_type = content_type.empty() ? request_.ContentType : content_type;
  head.accept = request_.Accept;
  head.cache_control = request_.CacheControl;
  head.user_agent = request_.UserAgent;
  head.cookie = cookies_.CookieLine(target.host, target.path, target.tls);
  head.extra_lines = &extra_lines;
  std::string message = WriteRequestHead(head);
  if (body) message += *body;

  const TzorHTTPEndpoint endpoint = EndpointOf(target);
  if (stream_ && !(stream_endpoint_ == endpoint)) Disconnect();

  TzorHTTPResponseLimits limits = limits_;
  if (stream_body) limits.max_body_bytes.reset();
  for (int attempt = 0;; ++attempt) {
    const bool reused = stream_ != nullptr;
    if (!stream_) {
      stream_ = DoConnect(endpoint);
      stream_endpoint_ = endpoint;
    }
    bool received = false;
    try {
      const TzorHTTPResponseHead* received_head = nullptr;
      TzorHTTPResponseReader reader(limits, [&](std::string_view piece) {
        const int status = received_head->status;
        if (status >= 400 || (handle_redirects_ && IsRedirect(status))) other_body.append(piece);
        else sink(piece);
      });
      received_head = &reader.Head();
      stream_->Write(message);
      char buffer[16384];
      while (!reader.Done() && !sse_cancelled_) {
        const size_t n = stream_->Read(buffer, sizeof buffer);
        if (n == 0) {
          if (!received && reused) throw EzorHTTPClientError("Connection closed by the server");
          reader.PutEOF();
          break;
        }
        received = true;
        reader.Put(std::string_view(buffer, n));
      }
      if (reader.HeadDone()) {
        response_ = reader.Head();
        for (const auto& [name, value] : response_.fields)
          if (SameHeaderName(name, "Set-Cookie")) cookies_.Store(value, target.host, target.path);
      }
      if (sse_cancelled_ || !reader.Done() || !response_.keep_alive || reader.BodyUntilClose() || reader.Leftover())
        Disconnect();
      return;
    } catch (const std::exception&) {
      Disconnect();
      // A kept connection the server had already closed: try once on a new one.
      if (reused && !received && attempt == 0) {
        other_body.clear();
        continue;
      }
      throw;
    }
  }
}

// ---- transport -----------------------------------------------------------

std::unique_ptr<TzorHTTPStream> TzorIdHTTP::DoConnect(const TzorHTTPEndpoint& endpoint) {
  auto connection = std::make_unique<TzorConnection>();
  TzorSocketOptions& options = connection->Options();
  options.Host = endpoint.connect_host;
  options.Port = endpoint.connect_port;
  options.ConnectTimeout = connect_timeout_;
  options.ReadTimeout = read_timeout_;
  if (proxy_settings_.Enabled) connection->SetProxy(proxy_settings_);
  if (endpoint.tls) {
    connection->SetTLS(tls_handler_);
    connection->SetTLSHost(endpoint.host);
  }
  if (log_intercept_) connection->AddIntercept(log_intercept_);
  connection->Connect();
  return std::make_unique<ConnectionStream>(std::move(connection));
}

// ---- tokens ----------------------------------------------------------------

void TzorIdHTTP::DoOnAuthToken(TzorComponent_Base*, const std::string& TokenType, const std::string& Token,
                               const std::string&) {
  TzorHTTPComponentClientAuthToken_Base* jwt = authentication_.Token().JWT();
  const int refresh_seconds = jwt ? jwt->RefreshTokenAfter() : 0;
  {
    std::lock_guard lock(token_mutex_);
    auth_token_type_ = TokenType;
    auth_token_ = Token;
    if (!Token.empty() && jwt) auth_token_expiry_ = Clock::now() + std::chrono::seconds(refresh_seconds);
  }
  token_arrived_.notify_all();
}

void TzorIdHTTP::DoOnAuthTokenError(TzorComponent_Base*, const std::string& Error, const std::string& ErrorDescription,
                                    const std::string&) {
  {
    std::lock_guard lock(token_mutex_);
    auth_token_error_ = Format("Error %s. %s", Error.c_str(), ErrorDescription.c_str());
  }
  token_arrived_.notify_all();
}

void TzorIdHTTP::DoSetAuthToken(const std::string& aToken, const std::string& aTokenType, Clock::time_point aExpiry) {
  {
    std::lock_guard lock(token_mutex_);
    auth_token_ = aToken;
    auth_token_type_ = aTokenType;
    auth_token_expiry_ = aExpiry;
  }
  token_arrived_.notify_all();
}

void TzorIdHTTP::DoApplyAuthToken() {
  const TzorHTTPAuthentication_Token& token = authentication_.Token();
  TzorHTTPComponentClientAuthToken_Base* source = token.OAuth() ? token.OAuth() : token.JWT();
  if (!source) return;

  std::unique_lock lock(token_mutex_);
  if (token.JWT() && Clock::now() > auth_token_expiry_) auth_token_.clear();
  if (auth_token_.empty()) {
    auth_token_error_.clear();
    lock.unlock();
    std::weak_ptr<TokenRelay> relay = token_relay_;
    source->OnAuthToken = [relay](TzorComponent_Base* sender, const std::string& type, const std::string& value,
                                  const std::string& data) {
      if (auto r = relay.lock()) {
        std::lock_guard guard(r->mutex);
        if (r->client) r->client->DoOnAuthToken(sender, type, value, data);
      }
    };
    source->OnAuthTokenError = [relay](TzorComponent_Base* sender, const std::string& error,
                                       const std::string& description, const std::string& data) {
      if (auto r = relay.lock()) {
        std::lock_guard guard(r->mutex);
        if (r->client) r->client->DoOnAuthTokenError(sender, error, description, data);
      }
    };
    source->Start();
    lock.lock();
    token_arrived_.wait_for(lock, std::chrono::milliseconds(std::max(0, token.ReadTimeout())),
                            [this] { return !auth_token_.empty() || !auth_token_error_.empty(); });
    if (!auth_token_error_.empty()) {
      std::string error = std::move(auth_token_error_);
      auth_token_error_.clear();
      throw EzorHTTPAuthTokenError(error);
    }
  }
  if (auth_token_.empty()) return;  // no token in time: the server decides
  TzorHeaderLines& lines = request_.CustomHeaders;
  for (size_t i = lines.Count(); i-- > 0;)
    if (Lower(std::string_view(lines[i]).substr(0, 13)) == "authorization") lines.Delete(i);
  lines.Add("Authorization: " + auth_token_type_ + " " + auth_token_);
}

}  // namespace zor
