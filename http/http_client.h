#pragma once
// TzorIdHTTP: the library's HTTP/1.1 client component. Before every request
// it applies a token from a token source, attaches or removes the traffic
// log, chooses the transport from the URL (TLS built once from TLSOptions)
// and routes through the proxy; responses are read by content length, chunked
// or until close, within configurable bounds. Error statuses raise
// EIdHTTPProtocolException. Connections are kept between requests to the
// same endpoint while the server allows it.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/streams.h"
#include "http/auth_token.h"
#include "http/cookie_jar.h"
#include "http/header_lines.h"
#include "http/http_component.h"
#include "http/http_transport.h"
#include "http/multipart_form_data.h"
#include "http/proxy_options.h"
#include "http/response_reader.h"
#include "http/tls_options.h"

namespace zor {

class TzorIdLogFileClient;

enum TIdHTTPProtocolVersion { pv1_0, pv1_1 };
// hoKeepOrigProtocol: send POST with the configured protocol version
// (otherwise POST goes out as HTTP/1.0).
enum TIdHTTPOption { hoKeepOrigProtocol };
using TIdHTTPOptions = std::set<TIdHTTPOption>;

// The request's own header values; empty ones are not sent.
struct TzorHTTPRequestInfo {
  TzorHeaderLines CustomHeaders;  // the caller's extra lines, sent after the client's own
  std::string Accept = "*/*";
  std::string CacheControl;
  std::string ContentType;
  std::string UserAgent;
};

using TzorHTTPSSEMessageEvent =
    std::function<void(TzorComponent_Base* Sender, const std::string& aMessage, bool& Cancel)>;

// The library's HTTP/1.1 client component.
class TzorIdHTTP : public TzorHTTPComponentClient_Base {
 public:
  using Clock = std::chrono::system_clock;

  explicit TzorIdHTTP(TzorComponent_Base* owner = nullptr);
  ~TzorIdHTTP() override;
  TzorIdHTTP(const TzorIdHTTP&) = delete;
  TzorIdHTTP& operator=(const TzorIdHTTP&) = delete;

  // The verbs. Text results are the body decoded by the response's charset
  // (UTF-8 when it declares none); streams receive the raw bytes.
  std::string Get(const std::string& aURL);
  void Get(const std::string& aURL, TzorStringStream& aResponse);
  void Post(const std::string& aURL, const TzorStringStream& aSource, TzorStringStream& aResponse);
  std::string Post(const std::string& aURL, const TzorMultipartFormData& aFormData);
  std::string Put(const std::string& aURL, const TzorStringStream& aSource);
  void Put(const std::string& aURL, const TzorStringStream& aSource, TzorStringStream& aResponse);
  std::string Patch(const std::string& aURL, const TzorStringStream& aSource);
  void Patch(const std::string& aURL, const TzorStringStream& aSource, TzorStringStream& aResponse);
  std::string Delete(const std::string& aURL);
  // DELETE with the UTF-8 bytes of aBody as its content.
  std::string Delete(const std::string& aURL, const std::string& aBody);
  // DELETE with aSource as its content, unless it is empty.
  void Delete(const std::string& aURL, const TzorStringStream& aSource, TzorStringStream& aResponse);

  // Reads a server-sent-event stream: every piece of body that arrives is one
  // OnSSEMessage; a handler that sets Cancel ends the call quietly.
  void GetSSE(const std::string& aURL, const std::string& aCharset);

  TzorHTTPRequestInfo& Request() { return request_; }
  // The last final response's head.
  const TzorHTTPResponseHead& Response() const { return response_; }
  int ResponseCode() const { return response_.status; }
  const std::string& ResponseText() const { return response_.status_line; }

  TIdHTTPProtocolVersion ProtocolVersion() const { return protocol_version_; }
  void SetProtocolVersion(TIdHTTPProtocolVersion version) { protocol_version_ = version; }
  TIdHTTPOptions& HTTPOptions() { return http_options_; }
  bool HandleRedirects() const { return handle_redirects_; }
  void SetHandleRedirects(bool on) { handle_redirects_ = on; }
  int RedirectMaximum() const { return redirect_maximum_; }
  void SetRedirectMaximum(int count) { redirect_maximum_ = count; }
  // Milliseconds; 0 waits as long as the system does.
  int ConnectTimeout() const { return connect_timeout_; }
  void SetConnectTimeout(int milliseconds) { connect_timeout_ = milliseconds; }
  int ReadTimeout() const { return read_timeout_; }
  void SetReadTimeout(int milliseconds) { read_timeout_ = milliseconds; }
  TzorHTTPResponseLimits& ResponseLimits() { return limits_; }
  std::vector<TzorConnectTo>& ConnectTo() { return connect_to_; }
  TzorCookieJar& CookieManager() { return cookies_; }

  TzorIdHTTPAuthentication_Options& Authentication() { return authentication_; }
  void SetAuthentication(const TzorIdHTTPAuthentication_Options& options) { authentication_.Assign(options); }
  TzorIdHTTPTLS_Options& TLSOptions() { return tls_options_; }
  void SetTLSOptions(const TzorIdHTTPTLS_Options& options) { tls_options_.Assign(options); }
  TzorHTTPProxy_Options& Proxy() { return proxy_; }
  void SetProxy(const TzorHTTPProxy_Options& options) { proxy_.Assign(options); }
  TzorHttpLogFile& LogOptions() { return log_options_; }
  void SetLogOptions(const TzorHttpLogFile& options) { log_options_.Assign(options); }
  bool Log() const { return log_; }
  // Switching off detaches and frees the traffic log at once.
  void SetLog(bool on);

  // The TLS transport of HTTPS requests: built on the first one, freed by a
  // plain request.
  const TzorTLSContext* TLSHandler() const { return tls_handler_.get(); }

  bool Connected() const { return stream_ != nullptr; }
  void Disconnect();

  TzorHTTPSSEMessageEvent OnSSEMessage;

 protected:
  using BodySink = std::function<void(std::string_view)>;

  // Password of the TLS client key: TLSOptions.Password.
  virtual void DoOnGetPassword(std::string& aPassword);
  virtual void DoOnAuthToken(TzorComponent_Base* Sender, const std::string& TokenType, const std::string& Token,
                             const std::string& Data);
  // Hands the failure to the waiting request, which raises "Error %s. %s":
  // a source that reports on its own thread never sees the exception.
  virtual void DoOnAuthTokenError(TzorComponent_Base* Sender, const std::string& Error,
                                  const std::string& ErrorDescription, const std::string& Data);
  virtual void DoSetAuthToken(const std::string& aToken, const std::string& aTokenType, Clock::time_point aExpiry);
  // Obtains a token when none is stored (or a JWT one has expired) and sets
  // the one "Authorization" line of the request.
  virtual void DoApplyAuthToken();
  virtual void DoOnSSEWrite(std::string_view aBuffer);
  // The hook every verb passes through before its exchange: token, traffic
  // log, transport, proxy.
  virtual void DoRequest(const std::string& method, const std::string& url);
  // Opens a connection to the endpoint with the current transport settings.
  virtual std::unique_ptr<TzorHTTPStream> DoConnect(const TzorHTTPEndpoint& endpoint);

 private:
  struct Target;
  struct TokenRelay;

  // Runs the hook, then the exchange (with redirects); raises for error statuses.
  void Perform(const std::string& method, const std::string& url, const std::string* body,
               const std::string& content_type, const BodySink& sink, bool stream_body = false);
  void Exchange(const std::string& method, const Target& target, const std::string* body,
                const std::string& content_type, const TzorHeaderLines& extra_lines, const BodySink& sink,
                std::string& other_body, bool stream_body);
  TzorHTTPEndpoint EndpointOf(const Target& target) const;
  // The transport for the scheme: TLS built when missing, or freed for plain HTTP.
  void ChooseTransport(bool tls);
  std::string TextRequest(const std::string& method, const std::string& url, const std::string* body,
                          const std::string& content_type = {});

  TzorHTTPRequestInfo request_;
  TzorHTTPResponseHead response_;
  TIdHTTPProtocolVersion protocol_version_ = pv1_1;
  TIdHTTPOptions http_options_;
  bool handle_redirects_ = false;
  int redirect_maximum_ = 15;
  int connect_timeout_ = 0;
  int read_timeout_ = 0;
  TzorHTTPResponseLimits limits_;
  std::vector<TzorConnectTo> connect_to_;
  TzorCookieJar cookies_;

  std::unique_ptr<TzorHTTPStream> stream_;
  TzorHTTPEndpoint stream_endpoint_;

  TzorIdHTTPTLS_Options tls_options_;
  std::shared_ptr<const TzorTLSContext> tls_handler_;
  bool log_ = false;
  TzorHttpLogFile log_options_;
  std::shared_ptr<TzorIdLogFileClient> log_intercept_;
  TzorHTTPProxy_Options proxy_;
  TzorProxySettings proxy_settings_;  // the tunnel of the next connection

  TzorIdHTTPAuthentication_Options authentication_;
  // Token hand-over between the source's thread and the requesting one.
  std::mutex token_mutex_;
  std::condition_variable token_arrived_;
  std::string auth_token_;
  std::string auth_token_type_;
  Clock::time_point auth_token_expiry_{};
  std::string auth_token_error_;  // set by a failed source, raised by the waiter
  std::shared_ptr<TokenRelay> token_relay_;

  bool sse_cancelled_ = false;
  bool sse_utf8_ = false;
  std::string sse_carry_;  // a UTF-8 sequence split across two reads
};

}  // namespace zor
