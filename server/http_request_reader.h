#pragma once
// Sans-IO reader of HTTP/1.x requests: bytes go in as they arrive, complete
// requests come out in order (pipelining needs nothing more), with bounded
// heads, header counts and bodies, chunked bodies and 100-continue.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "server/http_server_request.h"

namespace zor {

// The bounds of one request.
struct TzorHTTPRequestLimits {
  size_t MaxHeadSize = 64 * 1024;           // bytes of the request line and fields; beyond: 431
  size_t MaxHeaderCount = 100;              // beyond: 431
  uint64_t MaxBodySize = 8 * 1024 * 1024;   // decoded body bytes; beyond: 413
};

// Reads HTTP/1.x requests out of the bytes it is given.
class TzorHTTPRequestReader {
 public:
  enum TStep : uint8_t {
    stNeedMore,  // give it more bytes
    stContinue,  // the head asks for "100 Continue" before its body: send it, then call Next again
    stRequest,   // a request is complete: TakeRequest
    stFailed,    // the bytes are no request: answer FailureStatus and close
  };

  explicit TzorHTTPRequestReader(TzorHTTPRequestLimits limits = {});
  ~TzorHTTPRequestReader();
  TzorHTTPRequestReader(const TzorHTTPRequestReader&) = delete;
  TzorHTTPRequestReader& operator=(const TzorHTTPRequestReader&) = delete;

  void Append(std::string_view bytes);
  TStep Next();
  // The request after stRequest; the reader goes on with the next one.
  TzorHTTPServerRequest TakeRequest();
  // After stFailed: 400, 413 or 431, and why.
  int FailureStatus() const { return failureStatus_; }
  const std::string& FailureReason() const { return failureReason_; }
  // Received bytes not parsed yet.
  size_t Pending() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int failureStatus_ = 0;
  std::string failureReason_;
};

}  // namespace zor
