#include "http/cookie_jar.h"

#include <time.h>

#include <algorithm>
#include <cctype>

#include "http/header_lines.h"

namespace zor {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (host == domain) return true;
  return host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.';
}

bool PathMatches(std::string_view request_path, std::string_view cookie_path) {
  if (!request_path.starts_with(cookie_path)) return false;
  return request_path.size() == cookie_path.size() || cookie_path.ends_with('/') ||
         request_path[cookie_path.size()] == '/';
}

std::string DefaultPath(std::string_view request_path) {
  const size_t query = request_path.find('?');
  request_path = request_path.substr(0, query);
  if (request_path.empty() || request_path.front() != '/') return "/";
  const size_t last = request_path.rfind('/');
  return last == 0 ? "/" : std::string(request_path.substr(0, last));
}

// "Wed, 21 Oct 2015 07:28:00 GMT" and the dash form "Wednesday, 21-Oct-15 ...".
bool ParseCookieDate(std::string_view text, TzorCookieJar::Clock::time_point& out) {
  std::string value(text);
  struct tm tm {};
  for (const char* pattern : {"%a, %d %b %Y %H:%M:%S", "%a, %d-%b-%Y %H:%M:%S", "%A, %d-%b-%y %H:%M:%S"}) {
    tm = {};
    if (strptime(value.c_str(), pattern, &tm)) {
      // Years far off (9999, or 6046 from a typo) lie beyond what the clock
      // counts: they become its far ends instead of overflowing it.
      constexpr long long kLimit =
          std::chrono::duration_cast<std::chrono::seconds>(TzorCookieJar::Clock::duration::max()).count();
      const long long seconds = std::clamp<long long>(timegm(&tm), -kLimit, kLimit);
      out = TzorCookieJar::Clock::time_point(std::chrono::seconds(seconds));
      return true;
    }
  }
  return false;
}

}  // namespace

void TzorCookieJar::Store(std::string_view set_cookie, std::string_view host, std::string_view request_path,
                          Clock::time_point now) {
  if (set_cookie.size() > kMaxCookieBytes) return;
  const std::string lower_host = Lower(host);
  std::string_view pair = set_cookie.substr(0, set_cookie.find(';'));
  const size_t eq = pair.find('=');
  if (eq == std::string_view::npos) return;
  Cookie cookie;
  cookie.name = std::string(Trim(pair.substr(0, eq)));
  cookie.value = std::string(Trim(pair.substr(eq + 1)));
  if (cookie.name.empty()) return;
  cookie.domain = lower_host;
  cookie.path = DefaultPath(request_path);
  bool has_max_age = false;

  size_t pos = pair.size();
  while (pos < set_cookie.size()) {
    const size_t next = std::min(set_cookie.find(';', pos + 1), set_cookie.size());
    std::string_view attribute = Trim(set_cookie.substr(pos + 1, next - pos - 1));
    pos = next;
    const size_t attr_eq = attribute.find('=');
    const std::string name = Lower(Trim(attribute.substr(0, attr_eq)));
    std::string_view value = attr_eq == std::string_view::npos ? std::string_view() : Trim(attribute.substr(attr_eq + 1));
    if (name == "domain" && !value.empty()) {
      if (value.front() == '.') value.remove_prefix(1);
      const std::string domain = Lower(value);
      if (!DomainMatches(lower_host, domain)) return;  // a cookie for another site
      cookie.domain = domain;
      cookie.host_only = false;
    } else if (name == "path" && value.starts_with('/')) {
      cookie.path = std::string(value);
    } else if (name == "secure") {
      cookie.secure = true;
    } else if (name == "max-age" && !value.empty()) {
      char* end = nullptr;
      const std::string digits(value);
      const long long seconds = std::strtoll(digits.c_str(), &end, 10);
      if (*end != '\0') continue;
      has_max_age = true;
      cookie.persistent = true;
      cookie.expires = seconds <= 0 ? Clock::time_point::min() : now + std::chrono::seconds(std::min(seconds, 400LL * 86400));
    } else if (name == "expires" && !has_max_age) {
      Clock::time_point expires;
      if (ParseCookieDate(value, expires)) {
        cookie.persistent = true;
        cookie.expires = expires;
      }
    }
  }

  std::erase_if(cookies_, [&](const Cookie& c) {
    return c.name == cookie.name && c.domain == cookie.domain && c.path == cookie.path;
  });
  if (cookie.persistent && cookie.expires <= now) return;  // the server deletes it
  if (cookies_.size() >= kMaxCookies) cookies_.erase(cookies_.begin());
  cookies_.push_back(std::move(cookie));
}

std::string TzorCookieJar::CookieLine(std::string_view host, std::string_view request_path, bool secure,
                                      Clock::time_point now) const {
  const std::string lower_host = Lower(host);
  const std::string_view path = request_path.substr(0, request_path.find('?'));
  std::vector<const Cookie*> matching;
  for (const Cookie& c : cookies_) {
    if (c.persistent && c.expires <= now) continue;
    if (c.secure && !secure) continue;
    if (c.host_only ? c.domain != lower_host : !DomainMatches(lower_host, c.domain)) continue;
    if (!PathMatches(path, c.path)) continue;
    matching.push_back(&c);
  }
  std::stable_sort(matching.begin(), matching.end(),
                   [](const Cookie* a, const Cookie* b) { return a->path.size() > b->path.size(); });
  std::string line;
  for (const Cookie* c : matching) {
    if (!line.empty()) line += "; ";
    line += c->name;
    line += '=';
    line += c->value;
  }
  return line;
}

}  // namespace zor
