#pragma once
// What the OAuth2 server reads of an HTTP request and what it answers, as
// plain values: the server logic never touches a connection, and an adapter
// turns these into bytes on whichever transport carries the request.
#include <string>
#include <vector>

namespace zor {

// What the authorization server reads of one HTTP request.
struct TzorOAuth2HTTPRequest {
  std::string Method;  // "GET", "POST"
  std::string Path;    // of the request line (or ":path"), without the query
  std::string Query;   // after the first "?", undecoded
  std::string Body;    // the form of a POST, undecoded
  // Credentials of an "Authorization: Basic" line, still form-encoded as
  // clients send them.
  bool HasBasic = false;
  std::string BasicUser;
  std::string BasicPassword;
  // The request's lines as the server read them (for the events).
  std::vector<std::string> Headers;
};

// Reads the request line ("GET /a?b HTTP/1.1") or the HTTP/2 pseudo-header
// lines (":method=GET", ":path=/a?b") and the Basic credentials of the header
// lines. A line that is neither gives an empty method and path.
TzorOAuth2HTTPRequest ReadOAuth2HTTPRequest(const std::vector<std::string>& aLines, std::string aBody);

enum class TzorOAuth2AnswerKind {
  oakNotHandled,  // not for this component: the server goes on with it
  oakNothing,     // handled, and nothing is to be written
  oakStatus,      // a status without a body (404 Not Found)
  oakRedirect,    // 302 to Location
  oakContent,     // Status with a body of ContentType
};

// The authorization server's answer to one HTTP request.
struct TzorOAuth2HTTPAnswer {
  TzorOAuth2AnswerKind Kind = TzorOAuth2AnswerKind::oakNotHandled;
  int Status = 0;
  std::string Reason;
  std::string ContentType;
  std::string Body;
  std::string Location;
  std::vector<std::string> Headers;  // extra lines, "Name: value"

  bool Handled() const { return Kind != TzorOAuth2AnswerKind::oakNotHandled; }
  static TzorOAuth2HTTPAnswer NotFound();
  static TzorOAuth2HTTPAnswer Redirect(std::string aLocation);
  static TzorOAuth2HTTPAnswer Content(int aStatus, std::string aContentType, std::string aBody,
                                      std::vector<std::string> aHeaders);
};

// The reason phrase of the statuses the server answers with.
std::string OAuth2ReasonPhrase(int aStatus);
// The answer as an HTTP/1.1 response that closes the connection; empty for
// answers that write nothing.
std::string RenderOAuth2HTTP1(const TzorOAuth2HTTPAnswer& aAnswer);

}  // namespace zor
