#pragma once
// Every HTTP/2 protocol violation is raised as TzorHTTP2Exception: the error
// code for the peer and whether the answer is GOAWAY (the connection ends) or
// RST_STREAM (only the stream ends).
#include "base/exceptions.h"
#include "http2/http2_constants.h"

#include <cstdint>
#include <string>

namespace zor {

// An HTTP/2 failure with its error code and whether it ends the stream or the connection.
class TzorHTTP2Exception : public Exception {
 public:
  explicit TzorHTTP2Exception(const std::string& message, Th2ErrorCodes errorCode = h2erPROTOCOL_ERROR,
                              Th2ErrorResponse errorResponse = h2errGO_AWAY, int32_t streamIdentifier = 0)
      : Exception(message),
        FErrorCode(errorCode),
        FErrorResponse(errorResponse),
        FStreamIdentifier(streamIdentifier) {}
  const char* ClassName() const override { return "TzorHTTP2Exception"; }

  Th2ErrorCodes ErrorCode() const { return FErrorCode; }
  Th2ErrorResponse ErrorResponse() const { return FErrorResponse; }
  int32_t StreamIdentifier() const { return FStreamIdentifier; }

 private:
  Th2ErrorCodes FErrorCode;
  Th2ErrorResponse FErrorResponse;
  int32_t FStreamIdentifier;
};

// Header-block decoding failures: the peer's compression context is lost, so
// the connection ends with COMPRESSION_ERROR.
inline TzorHTTP2Exception CompressionError(const std::string& message) {
  return TzorHTTP2Exception(message, h2erCOMPRESSION_ERROR);
}

}  // namespace zor
