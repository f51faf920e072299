// Bytes as a client may send them on an HTTP/1.x connection, in two pieces:
// requests are read out, their paths tried under a document root, multipart
// bodies decoded, and an answer written for each. Any input ends in
// requests, a refusal with its status, or the library's exception for a
// malformed multipart body; never more than the bounds allow.
#include <cstdlib>

#include "server/document_root.h"
#include "server/http_request_reader.h"
#include "server/http_response_writer.h"
#include "server/multipart_decoder.h"
#include "websocket/ws_types.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t cut = std::min<size_t>(data[0] * 4u, bytes.size());
  TzorHTTPRequestLimits limits;
  limits.MaxHeadSize = 4096;
  limits.MaxHeaderCount = 20;
  limits.MaxBodySize = 8192;
  TzorHTTPRequestReader reader(limits);
  for (std::string_view piece : {bytes.substr(0, cut), bytes.substr(cut)}) {
    reader.Append(piece);
    for (TzorHTTPRequestReader::TStep step = reader.Next(); step != TzorHTTPRequestReader::stNeedMore;
         step = reader.Next()) {
      if (step == TzorHTTPRequestReader::stFailed) {
        const int status = reader.FailureStatus();
        if (status != 400 && status != 413 && status != 431) std::abort();
        return 0;
      }
      if (step != TzorHTTPRequestReader::stRequest) continue;
      const TzorHTTPServerRequest request = reader.TakeRequest();
      if (request.PostStream.size() > limits.MaxBodySize) std::abort();
      if (DocumentRootFile("/nonexistent-zor-root", request.URI)) std::abort();
      try {
        TzorHTTPMultipartFormDataDecoder decoder(MultipartBoundary(request.ContentType), 512);
        size_t seen = 0;
        decoder.OnPartData = [&](const TzorMultipartPart&, std::string_view part) { seen += part.size(); };
        decoder.Put(request.PostStream);
        if (seen > request.PostStream.size()) std::abort();
      } catch (const TzorWSException&) {
      }
      TzorHTTPServerResponse response;
      response.ContentText = request.Document;
      response.CustomHeaders.push_back("X-Query: " + request.QueryParams);
      try {
        HTTPResponseBytes(response, request.Command == "HEAD", request.KeepAlive);
      } catch (const TzorWSException&) {
        // A query with a line end in it cannot go back into a header line.
      }
    }
  }
  return 0;
}
