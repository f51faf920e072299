#include "server/http1_request_loop.h"

#include <optional>

#include "net/transport.h"
#include "server/http_response_writer.h"

namespace zor {

namespace {

TzorHTTPServerResponse PlainAnswer(int code, std::string text) {
  TzorHTTPServerResponse response;
  response.SetStatus(code);
  response.ContentType = "text/plain";
  response.ContentText = std::move(text);
  return response;
}

}  // namespace

TzorHTTP1RequestLoop::TzorHTTP1RequestLoop(TzorHTTPRequestLimits limits, bool keepAlive, Handler handler,
                                           ErrorHandler onError)
    : reader_(limits), keepAlive_(keepAlive), handler_(std::move(handler)), onError_(std::move(onError)) {}

bool TzorHTTP1RequestLoop::OnBytes(TzorTransport& transport) {
  if (closing_) {
    transport.ClearInput();
    return false;
  }
  std::string bytes;
  transport.ReadFromBuffer(bytes, SIZE_MAX);
  reader_.Append(bytes);
  while (!closing_) {
    switch (reader_.Next()) {
      case TzorHTTPRequestReader::stNeedMore:
        return true;
      case TzorHTTPRequestReader::stContinue:
        transport.Write("HTTP/1.1 100 Continue\r\n\r\n");
        break;
      case TzorHTTPRequestReader::stFailed:
        Refuse(transport);
        break;
      case TzorHTTPRequestReader::stRequest: {
        TzorHTTPServerRequest request = reader_.TakeRequest();
        request.RemoteIP = transport.PeerIP();
        Answer(transport, request);
        break;
      }
    }
  }
  return false;
}

void TzorHTTP1RequestLoop::Answer(TzorTransport& transport, TzorHTTPServerRequest& request) {
  TzorHTTPServerResponse response;
  bool keep = false;
  std::string bytes;
  std::optional<std::string> failure;
  try {
    handler_(request, response);
    keep = keepAlive_ && request.KeepAlive && !response.CloseConnection;
    bytes = HTTPResponseBytes(response, request.Command == "HEAD", keep);
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    // Not a std::exception: it would otherwise end the worker thread, and
    // with it the server.
    failure = "Unknown exception";
  }
  if (failure) {
    if (onError_) onError_(*failure);
    keep = keepAlive_ && request.KeepAlive;
    bytes = HTTPResponseBytes(PlainAnswer(500, "Internal Server Error"), request.Command == "HEAD", keep);
  }
  transport.Write(bytes);
  if (keep) return;
  closing_ = true;
  transport.Disconnect();
}

void TzorHTTP1RequestLoop::Refuse(TzorTransport& transport) {
  if (onError_) onError_(reader_.FailureReason());
  transport.Write(HTTPResponseBytes(PlainAnswer(reader_.FailureStatus(), StatusText(reader_.FailureStatus())),
                                        false, false));
  closing_ = true;
  transport.Disconnect();
}

}  // namespace zor
