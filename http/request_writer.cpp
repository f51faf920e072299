#include "http/request_writer.h"

#include <string_view>

#include "base/format.h"
#include "http/http_exceptions.h"

namespace zor {
namespace {

bool BreaksLine(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

void CheckTarget(std::string_view target) {
  if (target.empty()) throw EzorHTTPClientError("Empty request target");
  for (unsigned char c : target)
    if (c <= 0x20 || c == 0x7F) throw EzorHTTPClientError("Invalid character in request target");
}

class HeadBuilder {
 public:
  HeadBuilder(const TzorHTTPRequestHead& head) : extra_(head.extra_lines) {}

  // The client's own line, unless the caller's lines carry the same name.
  void Own(std::string_view name, std::string_view value) {
    if (value.empty() || CallerHas(name)) return;
    if (BreaksLine(value)) throw EzorHTTPClientError(Format("Invalid value of header line %s", std::string(name).c_str()));
    Append(name, value);
  }
  void Framing(std::string_view name, std::string_view value) { Append(name, value); }

  void CallerLines() {
    if (!extra_) return;
    for (const std::string& line : extra_->Lines()) {
      // Only the name goes into the message: the value may be a secret.
      if (BreaksLine(line))
        throw EzorHTTPClientError(Format("Header line %s holds CR, LF or NUL", NameOf(line).c_str()));
      std::string_view name, value;
      if (!SplitHeaderLine(line, name, value) || name.empty())
        throw EzorHTTPClientError(Format("Invalid header line: %s", line.c_str()));
      if (SameHeaderName(name, "Content-Length") || SameHeaderName(name, "Transfer-Encoding")) continue;
      out_ += line;
      out_ += "\r\n";
    }
  }

  std::string& Out() { return out_; }

 private:
  static std::string NameOf(std::string_view line) {
    return std::string(line.substr(0, line.find_first_of(std::string_view(":\r\n\0", 4))));
  }
  bool CallerHas(std::string_view name) const {
    if (!extra_) return false;
    for (const std::string& line : extra_->Lines()) {
      std::string_view line_name, value;
      if (SplitHeaderLine(line, line_name, value) && SameHeaderName(line_name, name)) return true;
    }
    return false;
  }
  void Append(std::string_view name, std::string_view value) {
    out_ += name;
    out_ += ": ";
    out_ += value;
    out_ += "\r\n";
  }

  const TzorHeaderLines* extra_;
  std::string out_;
};

}  // namespace

std::string WriteRequestHead(const TzorHTTPRequestHead& head) {
  CheckTarget(head.target);
  if (head.method.empty() || BreaksLine(head.method) || head.method.find(' ') != std::string::npos)
    throw EzorHTTPClientError("Invalid request method");
  HeadBuilder b(head);
  std::string& out = b.Out();
  out.reserve(256);
  out += head.method;
  out += ' ';
  out += head.target;
  out += head.http11 ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n";
  b.Own("Host", head.host);
  b.Own("Content-Type", head.content_type);
  if (head.content_length) b.Framing("Content-Length", std::to_string(*head.content_length));
  b.Own("Accept", head.accept);
  b.Own("Cache-Control", head.cache_control);
  b.Own("User-Agent", head.user_agent);
  b.Own("Cookie", head.cookie);
  b.CallerLines();
  out += "\r\n";
  return std::move(out);
}

}  // namespace zor
