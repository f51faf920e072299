#include "oauth2/oauth2_http.h"

#include "base/bytes.h"
#include "base/text.h"
#include "server/http_answers.h"
#include "server/server_options.h"

namespace zor {

namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void SetTarget(TzorOAuth2HTTPRequest& request, std::string_view target) {
  const size_t question = target.find('?');
  request.Path = std::string(target.substr(0, question));
  if (question != std::string_view::npos) request.Query = std::string(target.substr(question + 1));
}

void ReadRequestLine(TzorOAuth2HTTPRequest& request, std::string_view line) {
  const size_t first = line.find(' ');
  if (first == std::string_view::npos) return;
  const size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos || line.substr(second + 1).rfind("HTTP/", 0) != 0) return;
  request.Method = std::string(line.substr(0, first));
  SetTarget(request, line.substr(first + 1, second - first - 1));
}

void ReadBasic(TzorOAuth2HTTPRequest& request, std::string_view value) {
  value = Trim(value);
  if (value.size() < 6 || !SameText(value.substr(0, 6), "Basic ")) return;
  const std::string decoded = DecodeBase64(Trim(value.substr(6)));
  const size_t colon = decoded.find(':');
  if (colon == std::string::npos) return;
  request.HasBasic = true;
  request.BasicUser = decoded.substr(0, colon);
  request.BasicPassword = decoded.substr(colon + 1);
}

}  // namespace

TzorOAuth2HTTPRequest ReadOAuth2HTTPRequest(const std::vector<std::string>& aLines, std::string aBody) {
  TzorOAuth2HTTPRequest request;
  request.Body = std::move(aBody);
  request.Headers = aLines;
  if (aLines.empty()) return request;
  const bool http2 = !aLines.front().empty() && aLines.front().front() == ':';
  if (!http2) ReadRequestLine(request, aLines.front());
  for (size_t i = http2 ? 0 : 1; i < aLines.size(); ++i) {
    const std::string_view line = aLines[i];
    if (line.empty()) break;  // the body lines follow
    if (http2 && line.rfind(":method=", 0) == 0) request.Method = std::string(line.substr(8));
    if (http2 && line.rfind(":path=", 0) == 0) SetTarget(request, line.substr(6));
    const size_t colon = line.find(http2 ? '=' : ':');
    if (colon != std::string_view::npos && SameText(Trim(line.substr(0, colon)), "Authorization") &&
        !request.HasBasic)
      ReadBasic(request, line.substr(colon + 1));
  }
  return request;
}

TzorOAuth2HTTPAnswer TzorOAuth2HTTPAnswer::NotFound() {
  TzorOAuth2HTTPAnswer answer;
  answer.Kind = TzorOAuth2AnswerKind::oakStatus;
  answer.Status = 404;
  answer.Reason = "Not Found";
  return answer;
}

TzorOAuth2HTTPAnswer TzorOAuth2HTTPAnswer::Redirect(std::string aLocation) {
  TzorOAuth2HTTPAnswer answer;
  answer.Kind = TzorOAuth2AnswerKind::oakRedirect;
  answer.Status = 302;
  answer.Reason = "Moved Temporarily";
  answer.Location = std::move(aLocation);
  return answer;
}

TzorOAuth2HTTPAnswer TzorOAuth2HTTPAnswer::Content(int aStatus, std::string aContentType, std::string aBody,
                                                   std::vector<std::string> aHeaders) {
  TzorOAuth2HTTPAnswer answer;
  answer.Kind = TzorOAuth2AnswerKind::oakContent;
  answer.Status = aStatus;
  answer.Reason = OAuth2ReasonPhrase(aStatus);
  answer.ContentType = std::move(aContentType);
  answer.Body = std::move(aBody);
  answer.Headers = std::move(aHeaders);
  return answer;
}

std::string OAuth2ReasonPhrase(int aStatus) {
  switch (aStatus) {
    case 200: return "OK";
    case 302: return "Moved Temporarily";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Error";
  }
}

std::string RenderOAuth2HTTP1(const TzorOAuth2HTTPAnswer& aAnswer) {
  switch (aAnswer.Kind) {
    case TzorOAuth2AnswerKind::oakNotHandled:
    case TzorOAuth2AnswerKind::oakNothing:
      return {};
    case TzorOAuth2AnswerKind::oakStatus:
    {
      std::vector<std::string> lines{"Content-Length: 0", "Connection: close"};
      lines.insert(lines.end(), aAnswer.Headers.begin(), aAnswer.Headers.end());
      return HTTPStatusHead(aAnswer.Status, aAnswer.Reason, lines);
    }
    case TzorOAuth2AnswerKind::oakRedirect:
      return HTTPRedirectHead(aAnswer.Location, {"Content-Length: 0", "Cache-Control: no-store"});
    case TzorOAuth2AnswerKind::oakContent:
      break;
  }
  std::vector<std::string> lines{"Content-Type: " + aAnswer.ContentType,
                                 "Content-Length: " + std::to_string(aAnswer.Body.size()), "Connection: close",
                                 std::string("Server: ") + kServerSoftware};
  lines.insert(lines.end(), aAnswer.Headers.begin(), aAnswer.Headers.end());
  return HTTPStatusHead(aAnswer.Status, aAnswer.Reason, lines) + aAnswer.Body;
}

}  // namespace zor
