#pragma once
// Sans-IO reader of one HTTP/1.x response: bytes go in as they arrive, the
// head becomes available once complete, body pieces go to a sink. Interim
// (1xx) responses are skipped. Header block and body have bounds.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zor {

// Bounds of the response reader: header and body sizes.
struct TzorHTTPResponseLimits {
  size_t max_header_bytes = 64 * 1024;
  // No bound when empty (streams read until the caller stops).
  std::optional<uint64_t> max_body_bytes = uint64_t{64} * 1024 * 1024;
};

// The status line and header fields of an HTTP/1.x response.
struct TzorHTTPResponseHead {
  int status = 0;
  int version = 11;         // 10 or 11
  std::string reason;
  std::string status_line;  // "HTTP/1.1 404 Not Found"
  std::vector<std::pair<std::string, std::string>> fields;
  bool keep_alive = false;

  // The value of the first field of that name (case-insensitive), or empty.
  std::string Field(std::string_view name) const;
};

// Sans-IO reader of one HTTP/1.x response.
class TzorHTTPResponseReader {
 public:
  using BodySink = std::function<void(std::string_view)>;

  TzorHTTPResponseReader(TzorHTTPResponseLimits limits, BodySink sink);
  ~TzorHTTPResponseReader();

  // Takes all the bytes (keeping what it cannot parse yet); raises
  // EzorHTTPClientError for a malformed response or one beyond the bounds.
  void Put(std::string_view bytes);
  // The peer closed: completes a body that runs until close, otherwise
  // raises EzorHTTPClientError for a response cut short.
  void PutEOF();

  bool HeadDone() const;
  bool Done() const;
  // The final (non-1xx) response's head; valid once HeadDone().
  const TzorHTTPResponseHead& Head() const;
  // The body ends only when the peer closes the connection.
  bool BodyUntilClose() const;
  // Bytes received after the end of the response.
  size_t Leftover() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zor
