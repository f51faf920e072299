#pragma once
// The bytes of one HTTP/1.x request head: the request line, the client's own
// header lines in a fixed order, then the caller's extra lines.
#include <cstdint>
#include <optional>
#include <string>

#include "http/header_lines.h"

namespace zor {

// The parts of one HTTP/1.x request head.
struct TzorHTTPRequestHead {
  std::string method;  // "GET"
  std::string target;  // origin form: "/path?query"
  std::string host;    // value of the Host line
  bool http11 = true;
  std::optional<uint64_t> content_length;  // a Content-Length line when set
  std::string content_type;
  std::string accept;
  std::string cache_control;
  std::string user_agent;
  std::string cookie;
  const TzorHeaderLines* extra_lines = nullptr;
};

// Empty fields are left out. An extra line replaces the client's own line of
// the same name; extra Content-Length and Transfer-Encoding lines are dropped
// because the client frames the body itself. Raises EzorHTTPClientError for a
// line or target that would break the message apart (CR, LF, NUL, blanks in
// the target) or an extra line without a colon.
std::string WriteRequestHead(const TzorHTTPRequestHead& head);

}  // namespace zor
