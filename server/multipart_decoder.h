#pragma once
// Sans-IO decoder of multipart/form-data bodies: bytes go in in pieces of
// any size, parts come out through events as their bytes are known, so a
// file part never has to be held whole.
#include <functional>
#include <string>
#include <string_view>

#include "server/http_server_request.h"

namespace zor {

// One part of a multipart body as its head describes it.
struct TzorMultipartPart {
  TzorHTTPFields Headers;
  std::string Name;      // the form field's name
  std::string FileName;  // as the client sent it (not reduced); empty for plain fields
  bool IsFile = false;   // the head named a file name
  std::string ContentType;
};

// Decodes a multipart/form-data body.
class TzorHTTPMultipartFormDataDecoder {
 public:
  // `boundary` as the content type's "boundary" parameter gives it.
  explicit TzorHTTPMultipartFormDataDecoder(std::string boundary, size_t maxPartHeadSize = 16 * 1024);

  std::function<void(const TzorMultipartPart&)> OnPartBegin;
  std::function<void(const TzorMultipartPart&, std::string_view bytes)> OnPartData;
  std::function<void(const TzorMultipartPart&)> OnPartEnd;

  // Raises TzorWSException on a malformed body (a part head too large or
  // without its end, bad padding after a boundary).
  void Put(std::string_view bytes);
  // The closing boundary was read; what follows it is ignored.
  bool Done() const { return state_ == sDone; }
  // Raises TzorWSException when the body ended before its closing boundary.
  void Finish() const;

 private:
  enum State { sPreamble, sAfterBoundary, sPartHead, sPartBody, sDone };
  bool Step();
  void BeginPart(std::string_view head);

  std::string delimiter_;  // CR LF "--" boundary
  size_t maxPartHeadSize_;
  std::string buffer_;
  State state_ = sPreamble;
  TzorMultipartPart part_;
};

// The "boundary" parameter of a multipart content type; empty when none.
std::string MultipartBoundary(std::string_view contentType);

}  // namespace zor
