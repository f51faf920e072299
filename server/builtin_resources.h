#pragma once
// The server's own files: a registry of named texts (the browser client
// scripts and the test page are registered from the program's embedded
// files), which request lines they answer, and the placeholders filled in
// for the connection that asked.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// One of the server's own files: its public name and text.
class TzorWSHTTPResponse_Base {
 public:
  virtual ~TzorWSHTTPResponse_Base() = default;
  // The public file name it answers to.
  virtual std::string GetFileName() const = 0;
  virtual std::string Text() const = 0;
};

// The registry of the server's own files.
class TzorWSHTTPResponse {
 public:
  // Process-wide; register before the server starts.
  static void RegisterFileName(std::shared_ptr<const TzorWSHTTPResponse_Base> aClass);
  // The text of each named file (name compared in any case), each followed by
  // CR LF; unknown names add nothing.
  static std::string GetResponseMessage(const std::vector<std::string>& aNames);
};

// Which of the server's own files are served.
struct TzorResourceOptions {
  bool JavascriptFiles = true;
  bool HTMLFiles = false;
  bool FlashFallBack = false;
  bool EventSourceFallBack = false;
};

enum class TzorResourceKind { rsNone, rsText, rsFlashMovie, rsFavicon };

// The server's own files a request line asks for.
struct TzorResourceMatch {
  TzorResourceKind Kind = TzorResourceKind::rsNone;
  std::vector<std::string> Names;  // rsText: the files, in the order they are joined
  std::string ContentType;
};

// Which built-in answer a request line ("GET <path> HTTP/1.1") asks for.
TzorResourceMatch MatchResource(std::string_view requestLine, const TzorResourceOptions& options, bool aNotFound);
// True when the line gets a built-in answer with content (or the movie rule).
bool ServesResource(std::string_view requestLine, const TzorResourceOptions& options);

// What the placeholders of the server's own files are filled with.
struct TzorPlaceholderValues {
  std::string Host;  // the local address; IPv6 addresses are put in brackets
  uint16_t Port = 0;
  bool SSL = false;
  bool IPv6 = false;
};

// "{%host%}", "{%port%}" and "{%ssl%}" (any case) replaced; in a page
// (`html`) the values are HTML-escaped.
std::string FillPlaceholders(std::string_view text, const TzorPlaceholderValues& values, bool html);

}  // namespace zor
