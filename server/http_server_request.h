#pragma once
// What an application handler sees of one HTTP request and fills in for its
// answer, whichever protocol (HTTP/1.x or HTTP/2) carried it.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zor {

class TzorHTTPSession;

using TzorHTTPFields = std::vector<std::pair<std::string, std::string>>;

// The text without blanks and tabs at either end.
std::string_view TrimBlanks(std::string_view text);
// The value of the first field called `name` (any case); empty when none.
std::string FieldValue(const TzorHTTPFields& fields, std::string_view name);
// "a=1&b=x%20y" -> {a,1},{b,x y}; names without "=" get an empty value; bad
// escapes are kept as they stand.
TzorHTTPFields ParseQueryText(std::string_view text);
// The pairs of a Cookie header, "a=1; b=2".
TzorHTTPFields ParseCookieHeader(std::string_view text);

// One request as the handlers see it.
class TzorHTTPServerRequest {
 public:
  std::string Command;   // the method as sent: "GET", "PROPFIND"
  std::string Version;   // "HTTP/1.1", "HTTP/2"
  std::string URI;       // the request target as sent
  std::string Document;  // its path, percent-decoded
  std::string QueryParams;  // the raw text after "?"
  // Decoded query parameters, and the fields of a form-encoded POST body.
  TzorHTTPFields Params;
  TzorHTTPFields RawHeaders;
  TzorHTTPFields Cookies;
  std::string Host;
  std::string ContentType;
  // "Basic" credentials of the Authorization line, decoded.
  bool AuthExists = false;
  std::string AuthUsername;
  std::string AuthPassword;
  // Another scheme of the Authorization line: the scheme and the rest.
  std::string AuthScheme;
  std::string AuthData;
  std::string PostStream;  // the request body
  std::string RemoteIP;
  bool KeepAlive = true;  // what the client asked for
  // The request's session, when sessions are on and it has one.
  std::shared_ptr<TzorHTTPSession> Session;

  std::string Header(std::string_view name) const { return FieldValue(RawHeaders, name); }
  std::string Cookie(std::string_view name) const { return FieldValue(Cookies, name); }
  std::string Param(std::string_view name) const { return FieldValue(Params, name); }
  // Target, headers and body parsed into the fields above.
  void Complete();
};

// A cookie the answer sets.
struct TzorHTTPCookie {
  std::string Name;
  std::string Value;
  std::string Path = "/";
  int64_t MaxAge = -1;  // seconds; negative: a session cookie
  bool HttpOnly = true;
  bool Secure = false;
  // "Set-Cookie: " line without the name.
  std::string SetCookieValue() const;
};

// The answer a handler fills in.
class TzorHTTPServerResponse {
 public:
  int ResponseNo = 200;
  std::string ResponseText;  // empty: the usual text of the code
  std::string ContentText;
  std::string ContentType;  // empty: text/html when there is content
  std::string CharSet;
  // Extra lines, "Name: value".
  std::vector<std::string> CustomHeaders;
  std::vector<TzorHTTPCookie> Cookies;
  // The connection closes after this answer.
  bool CloseConnection = false;

  void SetStatus(int code, std::string text = {}) {
    ResponseNo = code;
    ResponseText = std::move(text);
  }
  // The content type line's value: the type and the character set.
  std::string ContentTypeValue() const;
};

}  // namespace zor
