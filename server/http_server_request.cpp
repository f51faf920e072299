#include "server/http_server_request.h"

#include "base/bytes.h"
#include "base/text.h"
#include "base/url.h"

namespace zor {

namespace {

TzorHTTPFields SplitPairs(std::string_view text, char separator, bool decode) {
  TzorHTTPFields pairs;
  while (!text.empty()) {
    const size_t end = text.find(separator);
    const std::string_view item = TrimBlanks(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (item.empty()) continue;
    const size_t eq = item.find('=');
    std::string_view name = TrimBlanks(item.substr(0, eq));
    std::string_view value = eq == std::string_view::npos ? std::string_view() : TrimBlanks(item.substr(eq + 1));
    if (decode)
      pairs.emplace_back(PercentDecode(name, true), PercentDecode(value, true));
    else
      pairs.emplace_back(std::string(name), std::string(value));
  }
  return pairs;
}

// "http://host/p?q" -> "/p?q"; origin-form targets stay as they are.
std::string_view OriginForm(std::string_view target) {
  const size_t scheme = target.find("://");
  if (scheme == std::string_view::npos || target.substr(0, scheme).find('/') != std::string_view::npos) return target;
  const size_t path = target.find_first_of("/?", scheme + 3);
  return path == std::string_view::npos ? std::string_view("/") : target.substr(path);
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string FieldValue(const TzorHTTPFields& fields, std::string_view name) {
  for (const auto& [n, v] : fields)
    if (SameText(n, name)) return v;
  return {};
}

TzorHTTPFields ParseQueryText(std::string_view text) { return SplitPairs(text, '&', true); }

TzorHTTPFields ParseCookieHeader(std::string_view text) { return SplitPairs(text, ';', false); }

void TzorHTTPServerRequest::Complete() {
  const std::string_view target = OriginForm(URI);
  const size_t question = target.find('?');
  Document = PercentDecode(target.substr(0, question), false);
  QueryParams = question == std::string_view::npos ? std::string() : std::string(target.substr(question + 1));
  Params = ParseQueryText(QueryParams);
  Host = Header("Host");
  ContentType = Header("Content-Type");
  if (Command == "POST" && ContainsText(ContentType, "application/x-www-form-urlencoded")) {
    for (auto& pair : ParseQueryText(PostStream)) Params.push_back(std::move(pair));
  }
  Cookies.clear();
  for (const auto& [name, value] : RawHeaders)
    if (SameText(name, "Cookie"))
      for (auto& pair : ParseCookieHeader(value)) Cookies.push_back(std::move(pair));

  const std::string authorization = Header("Authorization");
  const size_t blank = authorization.find(' ');
  AuthScheme = authorization.substr(0, blank);
  AuthData = blank == std::string::npos ? std::string() : std::string(TrimBlanks(std::string_view(authorization).substr(blank)));
  if (SameText(AuthScheme, "Basic")) {
    const std::string decoded = DecodeBase64Text(AuthData);
    const size_t colon = decoded.find(':');
    AuthExists = colon != std::string::npos;
    if (AuthExists) {
      AuthUsername = decoded.substr(0, colon);
      AuthPassword = decoded.substr(colon + 1);
    }
  }
}

std::string TzorHTTPCookie::SetCookieValue() const {
  std::string line = Name + "=" + Value;
  if (!Path.empty()) line += "; Path=" + Path;
  if (MaxAge >= 0) line += "; Max-Age=" + std::to_string(MaxAge);
  if (HttpOnly) line += "; HttpOnly";
  if (Secure) line += "; Secure";
  return line;
}

std::string TzorHTTPServerResponse::ContentTypeValue() const {
  std::string type = ContentType.empty() ? std::string("text/html") : ContentType;
  if (!CharSet.empty() && !ContainsText(type, "charset=")) type += "; charset=" + CharSet;
  return type;
}

}  // namespace zor
