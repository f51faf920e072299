// Response bytes from a peer, split at a point the input chooses, through the
// bounded reader, then the charset decoding and cookie parsing that follow.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "http/charset.h"
#include "http/cookie_jar.h"
#include "http/http_exceptions.h"
#include "http/response_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t split = data[0];
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  zor::TzorHTTPResponseLimits limits;
  limits.max_header_bytes = 4096;
  limits.max_body_bytes = 1 << 16;
  size_t body_bytes = 0;
  zor::TzorHTTPResponseReader reader(limits, [&](std::string_view piece) { body_bytes += piece.size(); });
  try {
    const size_t first = split < input.size() ? split : input.size();
    reader.Put(input.substr(0, first));
    reader.Put(input.substr(first));
    reader.PutEOF();
  } catch (const zor::EzorHTTPClientError&) {
    return 0;
  }
  if (body_bytes > *limits.max_body_bytes) __builtin_trap();
  const zor::TzorHTTPResponseHead& head = reader.Head();
  zor::TzorCookieJar jar;
  for (const auto& [name, value] : head.fields) {
    jar.Store(value, "fuzz.example", "/a/b");
    (void)zor::DecodeBodyText(value, zor::CharsetOfContentType(value));
  }
  (void)jar.CookieLine("fuzz.example", "/a/b/c", true);
  (void)zor::CompleteUTF8Prefix(input);
  return 0;
}
