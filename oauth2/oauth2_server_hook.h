#pragma once
// Puts an OAuth2 authorization server in front of a WebSocket and HTTP
// server: its two addresses are answered, upgrades are authenticated by its
// tokens, and the application sees only HTTP requests that carry a live one.
#include "oauth2/oauth2_server.h"
#include "server/ws_http_server.h"

namespace zor {

// Enables the server's authentication with the OAuth2 server as its token
// component and takes over OnHTTPRequest: requests for the authorization and
// token addresses are answered by `aOAuth2`; any other request reaches
// `aApplication` only with a live bearer token, and is otherwise answered 401
// (404 without an application). Both components must outlive the server's
// activity.
void AttachOAuth2Server(TzorWSHTTPServer& aServer, TzorHTTPComponentServer_OAuth2& aOAuth2,
                        TzorWSHTTPServer::THTTPRequestEvent aApplication = nullptr);

// Writes an answer of the OAuth2 server on a plain HTTP/1.x connection.
void WriteOAuth2Answer(TzorWSConnectionServer& aConnection, const TzorOAuth2HTTPAnswer& aAnswer);

}  // namespace zor
