#include "server/multipart_decoder.h"

#include "base/text.h"
#include "websocket/ws_types.h"

namespace zor {

namespace {

// The value of `name` among "; "-separated parameters, quotes removed.
std::string Parameter(std::string_view value, std::string_view name) {
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i <= value.size(); ++i) {
    if (i < value.size() && value[i] == '"' && (i == 0 || value[i - 1] != '\\')) quoted = !quoted;
    if (i < value.size() && (quoted || value[i] != ';')) continue;
    const std::string_view item = TrimBlanks(value.substr(start, i - start));
    start = i + 1;
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos || !SameText(TrimBlanks(item.substr(0, eq)), name)) continue;
    std::string_view v = TrimBlanks(item.substr(eq + 1));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return std::string(v);
  }
  return {};
}

}  // namespace

std::string MultipartBoundary(std::string_view contentType) {
  const size_t semicolon = contentType.find(';');
  if (semicolon == std::string_view::npos) return {};
  return Parameter(contentType.substr(semicolon + 1), "boundary");
}

TzorHTTPMultipartFormDataDecoder::TzorHTTPMultipartFormDataDecoder(std::string boundary, size_t maxPartHeadSize)
    : delimiter_("\r\n--" + boundary), maxPartHeadSize_(maxPartHeadSize) {
  if (boundary.empty() || boundary.size() > 70) throw TzorWSException("Invalid multipart boundary");
  // The first boundary may open the body: it then has no line end before it.
  buffer_ = "\r\n";
}

void TzorHTTPMultipartFormDataDecoder::Put(std::string_view bytes) {
  if (state_ == sDone) return;
  buffer_.append(bytes);
  while (Step()) {
  }
}

void TzorHTTPMultipartFormDataDecoder::Finish() const {
  if (state_ != sDone) throw TzorWSException("Multipart body ends before its closing boundary");
}

// One move of the state machine; false when it needs more bytes.
bool TzorHTTPMultipartFormDataDecoder::Step() {
  switch (state_) {
    case sPreamble:
    case sPartBody: {
      const size_t at = buffer_.find(delimiter_);
      const size_t safe = at != std::string::npos               ? at
                          : buffer_.size() >= delimiter_.size() ? buffer_.size() - delimiter_.size() + 1
                                                                : 0;
      if (state_ == sPartBody && safe > 0 && OnPartData) OnPartData(part_, std::string_view(buffer_).substr(0, safe));
      if (at == std::string::npos) {
        buffer_.erase(0, safe);
        return false;
      }
      if (state_ == sPartBody && OnPartEnd) OnPartEnd(part_);
      buffer_.erase(0, at + delimiter_.size());
      state_ = sAfterBoundary;
      return true;
    }
    case sAfterBoundary: {
      if (buffer_.size() < 2) return false;
      if (buffer_.compare(0, 2, "--") == 0) {
        state_ = sDone;
        buffer_.clear();
        return false;
      }
      const size_t padding = buffer_.find_first_not_of(" \t");
      if (padding == std::string::npos || buffer_.size() < padding + 2) {
        if (buffer_.size() > 256) throw TzorWSException("Invalid multipart boundary line");
        return false;
      }
      if (buffer_.compare(padding, 2, "\r\n") != 0) throw TzorWSException("Invalid multipart boundary line");
      buffer_.erase(0, padding + 2);
      state_ = sPartHead;
      return true;
    }
    case sPartHead: {
      // A part without header lines starts with its empty line.
      const size_t end = buffer_.starts_with("\r\n") ? 0 : buffer_.find("\r\n\r\n");
      if (end == std::string::npos || end > maxPartHeadSize_) {
        if (buffer_.size() > maxPartHeadSize_ + 4) throw TzorWSException("Multipart part head too large");
        return false;
      }
      BeginPart(std::string_view(buffer_).substr(0, end));
      buffer_.erase(0, end == 0 ? 2 : end + 4);
      state_ = sPartBody;
      return true;
    }
    case sDone:
      return false;
  }
  return false;
}

void TzorHTTPMultipartFormDataDecoder::BeginPart(std::string_view head) {
  part_ = {};
  while (!head.empty()) {
    const size_t end = head.find("\r\n");
    const std::string_view line = head.substr(0, end);
    head = end == std::string_view::npos ? std::string_view() : head.substr(end + 2);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) throw TzorWSException("Invalid multipart part head");
    part_.Headers.emplace_back(std::string(TrimBlanks(line.substr(0, colon))), std::string(TrimBlanks(line.substr(colon + 1))));
  }
  const std::string disposition = FieldValue(part_.Headers, "Content-Disposition");
  part_.Name = Parameter(disposition, "name");
  part_.IsFile = ContainsText(disposition, "filename=");
  part_.FileName = Parameter(disposition, "filename");
  part_.ContentType = FieldValue(part_.Headers, "Content-Type");
  if (OnPartBegin) OnPartBegin(part_);
}

}  // namespace zor
