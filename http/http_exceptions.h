#pragma once
// Errors of the HTTP client.
#include <string>

#include "base/exceptions.h"

namespace zor {

// The server answered with an error status: the message is the status line,
// the error text the response body.
class EIdHTTPProtocolException : public Exception {
 public:
  EIdHTTPProtocolException(const std::string& status_line, int error_code, std::string error_message,
                           std::string error_content = {})
      : Exception(status_line),
        error_code_(error_code),
        error_message_(std::move(error_message)),
        error_content_(std::move(error_content)) {}
  const char* ClassName() const override { return "EIdHTTPProtocolException"; }
  int ErrorCode() const { return error_code_; }
  // The answer's body as text, decoded by its charset.
  const std::string& ErrorMessage() const { return error_message_; }
  // The answer's body as received.
  const std::string& ErrorContent() const { return error_content_; }

 private:
  int error_code_;
  std::string error_message_;
  std::string error_content_;
};

// A response the client cannot accept: malformed, cut short, or larger than
// the configured bounds; also requests that cannot be written safely.
class EzorHTTPClientError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EzorHTTPClientError"; }
};

// A token source reported a failure ("Error %s. %s").
class EzorHTTPAuthTokenError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EzorHTTPAuthTokenError"; }
};

}  // namespace zor
