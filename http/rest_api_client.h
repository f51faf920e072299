#pragma once
// TzorHTTPAPI_client: base of the REST API clients. Every call creates a
// fresh TzorIdHTTP, copies this component's settings into it, sends one
// request, returns the response body as text and frees the client.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "http/header_lines.h"
#include "http/http_component.h"
#include "http/http_transport.h"
#include "http/multipart_form_data.h"
#include "http/tls_options.h"

namespace zor {

class TzorIdHTTP;

using TzorHTTPAPIExceptionEvent = std::function<void(TzorComponent_Base* Sender, const std::exception& E)>;

// Base of the REST API clients: one fresh HTTP client per call.
class TzorHTTPAPI_client : public TzorHTTPComponentClient_Base {
 public:
  explicit TzorHTTPAPI_client(TzorComponent_Base* owner = nullptr);
  ~TzorHTTPAPI_client() override;

  // aHeaders may be null (no extra lines); each entry is one complete line.
  std::string Get(const std::string& aURL, const TzorHeaderLines* aHeaders);
  std::string Post(const std::string& aURL, const std::string& aBody, const TzorHeaderLines* aHeaders,
                   const TzorMultipartFormData* aMultipartFormData = nullptr, bool aForceHTTP1 = false);
  std::string Delete(const std::string& aURL, const TzorHeaderLines* aHeader, const std::string& aBody = {});
  std::string Patch(const std::string& aURL, const std::string& aBody, const TzorHeaderLines* aHeaders);
  std::string Put(const std::string& aURL, const std::string& aBody, const TzorHeaderLines* aHeaders);

  // Copied into every call's client; HTTPS over TLS 1.2 unless changed.
  TzorIdHTTPTLS_Options& TLSOptions() { return *FTLSOptions; }
  void SetTLSOptions(const TzorIdHTTPTLS_Options& options) { FTLSOptions->Assign(options); }

  // Takes errors over: the call then returns the empty text.
  TzorHTTPAPIExceptionEvent OnHTTPAPIException;

  // Requests for a host and port go to another address (URL, Host line and
  // TLS server name unchanged).
  std::vector<TzorConnectTo>& ConnectTo() { return connect_to_; }

 protected:
  virtual std::string DoGet(const std::string& aURL, const TzorHeaderLines* aHeaders);
  virtual std::string DoPost(const std::string& aURL, const std::string& aBody, const TzorHeaderLines* aHeaders,
                             const TzorMultipartFormData* aMultipartFormData, bool aForceHTTP1);
  virtual std::string DoDelete(const std::string& aURL, const TzorHeaderLines* aHeader, const std::string& aBody);
  virtual std::string DoPatch(const std::string& aURL, const std::string& aBody, const TzorHeaderLines* aHeaders);
  virtual std::string DoPut(const std::string& aURL, const std::string& aBody, const TzorHeaderLines* aHeaders);

  // Creates the client of one call (before this component configures it).
  virtual std::unique_ptr<TzorIdHTTP> CreateClient();

  bool FLog = false;
  std::string FLogFileName;

 private:
  // Runs one request on a fresh client and applies the error path.
  std::string Call(const TzorHeaderLines* aHeaders, bool aForceHTTP1,
                   const std::function<std::string(TzorIdHTTP&)>& request);

  std::unique_ptr<TzorIdHTTPTLS_Options> FTLSOptions;
  std::vector<TzorConnectTo> connect_to_;
};

}  // namespace zor
