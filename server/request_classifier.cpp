#include "server/request_classifier.h"

#include <algorithm>

#include "base/text.h"

namespace zor {

namespace {

constexpr size_t kHixie76Key3Size = 8;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// Either text is a prefix of the other: the bytes may still become `pattern`.
bool MayBecome(std::string_view bytes, std::string_view pattern) {
  const size_t n = std::min(bytes.size(), pattern.size());
  return bytes.substr(0, n) == pattern.substr(0, n);
}

bool AnyLineContains(const std::vector<std::string>& lines, std::string_view text) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return ContainsText(l, text); });
}

bool AnyLineMatches(const std::vector<std::string>& lines, std::string_view mask) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return MatchMask(l, mask); });
}

bool IsHTTP1RequestLine(std::string_view line) { return MatchMask(line, "*HTTP/1.*"); }

// The first rule that applies to a head (or to bytes that are no HTTP head).
TwsRequestKind Decide(const std::vector<std::string>& lines, const TzorRequestClassifierOptions& options) {
  const std::string& first = lines.empty() ? std::string() : lines.front();
  const bool isGET = MatchMask(first, "GET *");
  if (isGET && IsHTTP1RequestLine(first) && AnyLineContains(lines, "Upgrade: websocket")) return rkWebSocket;
  if (options.AuthenticationEnabled && options.SessionEnabled && isGET &&
      ContainsText(first, "GET /zor/req/auth/session/"))
    return rkSessionRequest;
  if (MatchMask(first, "POST /zor/xhr/*")) return rkXHRPost;
  if (MatchMask(first, "POST /zor/protocol/*")) return rkProtocolPost;
  if (isGET && options.ServesResource && options.ServesResource(first)) return rkBuiltInResource;
  if (AnyLineMatches(lines, "Accept: text/event-stream")) return rkServerSentEvents;
  if (IsHTTP1RequestLine(first)) return rkHTTP;
  return rkUnknown;
}

// Bytes without a line end yet that may still grow into "METHOD target HTTP/1.x".
bool CouldBecomeRequestLine(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size() && bytes[i] >= 'A' && bytes[i] <= 'Z') ++i;
  if (i == 0 || i > 16) return false;
  for (; i < bytes.size(); ++i)
    if (bytes[i] < 0x20 || bytes[i] > 0x7E) return bytes[i] == '\r' && i + 1 == bytes.size();
  return true;
}

TzorRequestClassification Classified(TwsRequestKind kind, std::vector<std::string> lines, size_t headSize) {
  return {kind, std::move(lines), headSize};
}

}  // namespace

size_t FindHeadEnd(std::string_view bytes) {
  for (size_t i = bytes.find('\n'); i != std::string_view::npos; i = bytes.find('\n', i + 1)) {
    size_t next = i + 1;
    if (next < bytes.size() && bytes[next] == '\r') ++next;
    if (next < bytes.size() && bytes[next] == '\n') return next + 1;
  }
  return std::string_view::npos;
}

std::vector<std::string> SplitHeadLines(std::string_view head) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < head.size()) {
    size_t end = head.find('\n', start);
    const size_t next = end == std::string_view::npos ? head.size() : end + 1;
    if (end == std::string_view::npos) end = head.size();
    if (end > start && head[end - 1] == '\r') --end;
    lines.emplace_back(head.substr(start, end - start));
    start = next;
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

std::string RequestPath(std::string_view requestLine) {
  size_t start;
  if (StartsWithNoCase(requestLine, "GET "))
    start = 4;
  else if (StartsWithNoCase(requestLine, "POST "))
    start = 5;
  else
    return {};
  const size_t end = requestLine.rfind(" HTTP");
  std::string_view path = requestLine.substr(start, end == std::string_view::npos || end < start ? std::string_view::npos
                                                                                                 : end - start);
  while (!path.empty() && path.front() == ' ') path.remove_prefix(1);
  while (!path.empty() && path.back() == ' ') path.remove_suffix(1);
  return std::string(path);
}

std::vector<std::string> SplitText(std::string_view text, char delimiter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at = text.find(delimiter); at != std::string_view::npos; at = text.find(delimiter, start)) {
    parts.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.emplace_back(text.substr(start));
  return parts;
}

std::string HeaderValue(const std::vector<std::string>& lines, std::string_view name) {
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t colon = line.find(':');
    if (colon == std::string::npos || !SameText(std::string_view(line).substr(0, colon), name)) continue;
    const size_t begin = line.find_first_not_of(" \t", colon + 1);
    if (begin == std::string::npos) return {};
    return line.substr(begin, line.find_last_not_of(" \t") + 1 - begin);
  }
  return {};
}

TzorRequestClassification ClassifyRequest(std::string_view buffered, const TzorRequestClassifierOptions& options,
                                          TwsFirstBytesWait wait) {
  const bool quiet = wait != fwWaiting, over = wait == fwOver;
  if (buffered.empty()) return {};
  if (MayBecome(buffered, kHTTP2Preface)) {
    if (buffered.size() < kHTTP2Preface.size()) {
      if (!quiet) return {};
    } else if (options.HTTP2Enabled) {
      return Classified(rkHTTP2, {}, kHTTP2Preface.size());
    }
  }
  if (MayBecome(buffered, kFlashPolicyRequest)) {
    if (buffered.size() >= kFlashPolicyRequest.size()) return Classified(rkFlashPolicy, {}, buffered.size());
    if (!quiet) return {};
  }

  const size_t headEnd = FindHeadEnd(buffered);
  if (headEnd == std::string_view::npos || headEnd > options.MaxReadBufferSize) {
    const size_t firstLineEnd = buffered.find('\n');
    const bool tooLarge = buffered.size() > options.MaxReadBufferSize;
    if (firstLineEnd == std::string_view::npos) {
      if (tooLarge) return Classified(rkHeadTooLarge, {}, 0);
      if (CouldBecomeRequestLine(buffered))
        return over ? Classified(rkHeadIncomplete, {}, 0) : TzorRequestClassification{};
      if (!quiet) return {};
    } else if (IsHTTP1RequestLine(buffered.substr(0, firstLineEnd))) {
      if (tooLarge) return Classified(rkHeadTooLarge, {}, 0);
      return over ? Classified(rkHeadIncomplete, {}, 0) : TzorRequestClassification{};
    }
    // No HTTP request: the bytes stay whole for whoever takes the socket.
    auto lines = SplitHeadLines(buffered.substr(0, std::min(buffered.size(), options.MaxReadBufferSize)));
    const TwsRequestKind kind = Decide(lines, options);
    return Classified(kind, std::move(lines), 0);
  }

  auto lines = SplitHeadLines(buffered.substr(0, headEnd));
  const TwsRequestKind kind = Decide(lines, options);
  // A draft-76 client sends eight more bytes right after its head.
  if (kind == rkWebSocket && !HeaderValue(lines, "Sec-WebSocket-Key1").empty() &&
      buffered.size() - headEnd < kHixie76Key3Size)
    return over ? Classified(rkHeadIncomplete, {}, 0) : TzorRequestClassification{};
  return Classified(kind, std::move(lines), kind == rkUnknown ? 0 : headEnd);
}

}  // namespace zor
