#pragma once
// What a new socket is, decided from its first bytes without touching the
// socket: the caller feeds what is buffered and asks again when more arrives
// or when waiting is over. The bytes are never consumed here; the request
// head's size tells the caller where the body or the first frames begin.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

enum TwsRequestKind : uint8_t {
  rkNeedMore,          // wait for more bytes
  rkHeadTooLarge,      // no complete head within MaxReadBufferSize (answer 431, close)
  rkHeadIncomplete,    // waiting is over and an HTTP head is still incomplete (close)
  rkWebSocket,         // RFC 6455 or Hixie-76 upgrade
  rkSessionRequest,    // GET /zor/req/auth/session/...
  rkXHRPost,           // POST /zor/xhr/<guid>
  rkProtocolPost,      // POST /zor/protocol/<name>/...
  rkHTTP2,             // the HTTP/2 connection preface
  rkBuiltInResource,   // one of the server's own files
  rkFlashPolicy,       // <policy-file-request/>
  rkServerSentEvents,  // Accept: text/event-stream
  rkHTTP,              // a plain HTTP/1.x request for the application
  rkUnknown,           // none of these
};

inline constexpr std::string_view kHTTP2Preface = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";
inline constexpr std::string_view kFlashPolicyRequest = "<policy-file-request/>";

// What the request classifier accepts.
struct TzorRequestClassifierOptions {
  bool AuthenticationEnabled = false;
  bool SessionEnabled = true;
  bool HTTP2Enabled = false;
  size_t MaxReadBufferSize = 1024000;
  // Whether a GET request line names a built-in file the server serves.
  std::function<bool(const std::string& requestLine)> ServesResource;
};

// What a new socket's first bytes were found to be.
struct TzorRequestClassification {
  TwsRequestKind Kind = rkNeedMore;
  // The header lines (line 0 is the request line), without line ends.
  std::vector<std::string> Lines;
  // Bytes of the head, the empty line included; what follows is body or frames.
  size_t HeadSize = 0;
};

// How long the caller has waited for more bytes.
enum TwsFirstBytesWait : uint8_t {
  fwWaiting,  // bytes keep arriving
  fwQuiet,    // no bytes for the read time-out: other protocols are decided now
  fwOver,     // the head deadline passed or the peer closed: decide or give up
};

TzorRequestClassification ClassifyRequest(std::string_view buffered, const TzorRequestClassifierOptions& options,
                                          TwsFirstBytesWait wait);

// Offset just after the empty line that ends a head ("\r\n\r\n" or "\n\n"
// and mixtures), or npos while it is missing.
size_t FindHeadEnd(std::string_view bytes);
// The text split into lines; CR LF, LF and a lone trailing CR all end a line.
std::vector<std::string> SplitHeadLines(std::string_view head);
// The path of a request line: the text between "GET " or "POST " and the
// following " HTTP", trimmed; empty for other lines.
std::string RequestPath(std::string_view requestLine);
// The text parts of `text` between `delimiter`s, empty parts kept.
std::vector<std::string> SplitText(std::string_view text, char delimiter);
// The value of the first line whose name is `name` (any case), trimmed; empty when none.
std::string HeaderValue(const std::vector<std::string>& lines, std::string_view name);

}  // namespace zor
