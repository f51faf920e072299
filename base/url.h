#pragma once
// Splitting URLs and WebSocket endpoints; percent-encoding of their parts.
#include <string>
#include <string_view>

namespace zor {

// The parts of a URL.
struct TzorURLParts {
  std::string protocol;  // "https"
  std::string host;      // "example.com" (IPv6 without brackets)
  std::string port;      // "8443", empty when absent
  std::string path;      // "/a/b/doc.html": the path followed by the document name
  std::string query;     // the part after "?", without the fragment
};

// Lenient: every input gives a result; absent parts are empty.
TzorURLParts ParseURL(std::string_view url);

// "wss://host:443" -> tls true, host "host", port 443. Only when the value has
// exactly three ":"-separated parts; otherwise false and nothing is set.
// A non-numeric port raises EConvertError.
bool SplitWSEndpoint(std::string_view value, bool& tls, std::string& host, int& port);

// Percent-decoding: "%XX" (hexadecimal digits of either case) gives that byte,
// "%00" included; with `plusIsSpace` a "+" gives a space, as in query strings
// and form bodies. The two differ only in a "%" that is not followed by two
// hexadecimal digits: PercentDecode keeps it as it stands, PercentDecodeStrict
// refuses the whole text (false, `out` empty).
std::string PercentDecode(std::string_view text, bool plusIsSpace);
bool PercentDecodeStrict(std::string_view text, bool plusIsSpace, std::string& out);

// Percent-encoding: the unreserved characters of RFC 3986 (letters, digits
// and "-._~") stay, with `spaceAsPlus` a space becomes "+" (the form
// encoding), every other byte becomes "%XX" (upper-case hexadecimal). Without
// `spaceAsPlus` the result is one path segment: "/", "?", "#" and "%" in it
// can neither end nor change the path.
std::string PercentEncode(std::string_view text, bool spaceAsPlus);

}  // namespace zor
