#include "server/builtin_resources.h"

#include <mutex>

#include "base/markup.h"
#include "base/text.h"
#include "server/embedded_files.h"
#include "server/request_classifier.h"

namespace zor {

namespace {

class TzorEmbeddedResponse : public TzorWSHTTPResponse_Base {
 public:
  explicit TzorEmbeddedResponse(const TzorEmbeddedFile& file) : file_(file) {}
  std::string GetFileName() const override { return file_.Name; }
  std::string Text() const override { return std::string(file_.Data, file_.Size); }

 private:
  const TzorEmbeddedFile& file_;
};

struct Registry {
  std::mutex lock;
  std::vector<std::shared_ptr<const TzorWSHTTPResponse_Base>> classes;
};

Registry& TheRegistry() {
  static Registry* registry = [] {
    auto* r = new Registry;
    for (const TzorEmbeddedFile& file : EmbeddedFiles()) r->classes.push_back(std::make_shared<TzorEmbeddedResponse>(file));
    return r;
  }();
  return *registry;
}

// The last segment of the request path.
std::string FileNameOf(std::string_view requestLine) {
  const std::string path = RequestPath(requestLine);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReplaceNoCase(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text.size() - i >= from.size() && SameText(text.substr(i, from.size()), from)) {
      out += to;
      i += from.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace

void TzorWSHTTPResponse::RegisterFileName(std::shared_ptr<const TzorWSHTTPResponse_Base> aClass) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  r.classes.push_back(std::move(aClass));
}

std::string TzorWSHTTPResponse::GetResponseMessage(const std::vector<std::string>& aNames) {
  Registry& r = TheRegistry();
  std::lock_guard guard(r.lock);
  std::string message;
  for (const std::string& name : aNames)
    for (const auto& response : r.classes)
      if (SameText(response->GetFileName(), name)) {
        message += response->Text() + "\r\n";
        break;
      }
  return message;
}

TzorResourceMatch MatchResource(std::string_view requestLine, const TzorResourceOptions& options, bool aNotFound) {
  // Only a GET whose target or version holds one of the parts below, in any
  // case. Every request line is tried against these: they are found in place.
  TzorResourceMatch match;
  if (requestLine.size() < 4 || !SameText(requestLine.substr(0, 4), "GET ")) return match;
  const std::string_view rest = requestLine.substr(4);
  const auto holds = [rest](std::string_view part) { return ContainsText(rest, part); };
  if (holds(".js ")) {
    if (!options.JavascriptFiles) return match;
    const std::string name = FileNameOf(requestLine);
    if (name == "zorWebSockets.js") {
      if (options.EventSourceFallBack) match.Names.push_back("zorWebSocketsEventSource.js");
      if (options.FlashFallBack) match.Names.push_back("zorWebSocketsFlash.js");
    }
    match.Names.push_back(name);
    match.Kind = TzorResourceKind::rsText;
    match.ContentType = "text/javascript; charset=utf-8";
  } else if (const bool html = holds(".html "); html || holds(".css ")) {
    if (!options.HTMLFiles) return match;
    match.Names.push_back(FileNameOf(requestLine));
    match.Kind = TzorResourceKind::rsText;
    match.ContentType = html ? "text/html" : "text/css";
  } else if (holds("WebSocketMain.swf ")) {
    match.Kind = TzorResourceKind::rsFlashMovie;
  } else if (aNotFound && holds("favicon")) {
    match.Kind = TzorResourceKind::rsFavicon;
  }
  return match;
}

bool ServesResource(std::string_view requestLine, const TzorResourceOptions& options) {
  const TzorResourceMatch match = MatchResource(requestLine, options, false);
  if (match.Kind == TzorResourceKind::rsText) return !TzorWSHTTPResponse::GetResponseMessage(match.Names).empty();
  return match.Kind != TzorResourceKind::rsNone;
}

std::string FillPlaceholders(std::string_view text, const TzorPlaceholderValues& values, bool html) {
  const auto value = [html](std::string_view v) { return html ? EscapeHTML(v) : std::string(v); };
  const std::string host = values.IPv6 ? "[" + values.Host + "]" : values.Host;
  std::string out = ReplaceNoCase(text, "{%host%}", value(host));
  out = ReplaceNoCase(out, "{%port%}", value(std::to_string(values.Port)));
  return ReplaceNoCase(out, "{%ssl%}", values.SSL ? "s" : "");
}

}  // namespace zor
