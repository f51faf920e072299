#include "oauth2/oauth2_server_hook.h"

#include "net/transport.h"

namespace zor {

void WriteOAuth2Answer(TzorWSConnectionServer& aConnection, const TzorOAuth2HTTPAnswer& aAnswer) {
  const std::string bytes = RenderOAuth2HTTP1(aAnswer);
  if (bytes.empty() || !aConnection.TCPConnection()) return;
  TzorTransport& transport = *aConnection.TCPConnection();
  TzorWriteBufferScope scope(transport);
  transport.Write(bytes);
  scope.End();
}

void AttachOAuth2Server(TzorWSHTTPServer& aServer, TzorHTTPComponentServer_OAuth2& aOAuth2,
                        TzorWSHTTPServer::THTTPRequestEvent aApplication) {
  aServer.Authentication().Enabled = true;
  aServer.Authentication().OAuth.OAuth2 = &aOAuth2;
  TzorHTTPComponentServer_OAuth2* oauth2 = &aOAuth2;
  aServer.OnHTTPRequest = [oauth2, aApplication](TzorWSConnectionServer* connection,
                                                 const std::vector<std::string>& lines, const std::string& body) {
    const TzorOAuth2HTTPAnswer answer = oauth2->DoProcessHTTP(connection, ReadOAuth2HTTPRequest(lines, body));
    if (answer.Handled()) return WriteOAuth2Answer(*connection, answer);
    if (oauth2->IsOAuth2TokenValid(connection, lines)) {
      connection->Authentication().Authenticated = true;
      connection->Authentication().AuthType = authOAuth2;
      if (aApplication) return aApplication(connection, lines, body);
      return WriteOAuth2Answer(*connection, TzorOAuth2HTTPAnswer::NotFound());
    }
    if (oauth2->IsOAuth2Unauthorized(connection)) {
      TzorOAuth2HTTPAnswer unauthorized;
      unauthorized.Kind = TzorOAuth2AnswerKind::oakStatus;
      unauthorized.Status = 401;
      unauthorized.Reason = "Unauthorized";
      unauthorized.Headers = {"WWW-Authenticate: Bearer"};
      return WriteOAuth2Answer(*connection, unauthorized);
    }
    if (aApplication) aApplication(connection, lines, body);
  };
}

}  // namespace zor
