// The steps an application HTTP request goes through, the same for HTTP/1.x
// and HTTP/2: access checks, the document root, then the application's handler.
#include "auth/jwt_server.h"
#include "server/document_root.h"
#include "server/mime_types.h"
#include "server/ws_http_server.h"

namespace zor {

namespace {

std::vector<std::string> HeaderLines(const TzorHTTPServerRequest& request) {
  std::vector<std::string> lines{request.Command + " " + request.URI + " " + request.Version};
  for (const auto& [name, value] : request.RawHeaders) lines.push_back(name + ": " + value);
  return lines;
}

bool IsGetHeadOrPost(const std::string& command) {
  return command == "GET" || command == "HEAD" || command == "POST";
}

void Refuse401(TzorHTTPServerResponse& response, std::vector<std::string> lines = {}) {
  response.SetStatus(401, "Unauthorized");
  response.CustomHeaders = std::move(lines);
  response.CloseConnection = true;
}

}  // namespace

void TzorWSHTTPServer::SetDocumentRoot(const std::string& value) {
  FDocumentRoot = value;
  if (!FDocumentRoot.empty() && (FDocumentRoot.back() == '/' || FDocumentRoot.back() == '\\'))
    FDocumentRoot.pop_back();
}

bool TzorWSHTTPServer::CheckHTTPAccess(TzorWSConnectionServer& Connection, const TzorHTTPServerRequest& ARequestInfo,
                                       TzorHTTPServerResponse& AResponseInfo) {
  if (!FAuthentication.Enabled) return true;
  const std::vector<std::string> lines = HeaderLines(ARequestInfo);
  auto& state = Connection.AuthState();
  const bool authenticated = state.HasAuthentication() && state.Authentication().Authenticated;
  if (FSSL && FAuthentication.OAuth.OAuth2 && !authenticated &&
      !FAuthentication.OAuth.OAuth2->IsOAuth2TokenValid(&Connection, lines) &&
      FAuthentication.OAuth.OAuth2->IsOAuth2Unauthorized(&Connection)) {
    Refuse401(AResponseInfo);
    return false;
  }
  if (FSSL && FAuthentication.OAuth.OAuth2Provider && !authenticated &&
      FAuthentication.OAuth.OAuth2Provider->IsPrivateEndpoint(ARequestInfo.Document) &&
      !FAuthentication.OAuth.OAuth2Provider->IsOAuth2TokenValid(&Connection, lines)) {
    Refuse401(AResponseInfo);
    return false;
  }
  if (TzorHTTPComponentServer_JWT* jwt = FAuthentication.JWT.JWT) {
    if (!jwt->IsJWTTokenValid(&Connection, lines) && jwt->IsJWTUnauthorized(&Connection)) {
      Refuse401(AResponseInfo);
      return false;
    }
  }
  if (!FAuthentication.Basic.Enabled) return true;
  // Each request carries its own credentials: nothing is remembered for the
  // next request on a kept-alive connection.
  bool granted = false;
  if (ARequestInfo.AuthExists)
    granted = FAuthenticator.CheckBasicCredentials(&Connection, state, ARequestInfo.AuthData);
  if (granted || ARequestInfo.Command == "OPTIONS") return true;
  std::vector<std::string> refusal{std::string("WWW-Authenticate: Basic realm=\"") + kServerSoftware + "\""};
  for (const std::string& line : FAuthentication.Basic.CustomHeaders) refusal.push_back(line);
  Refuse401(AResponseInfo, std::move(refusal));
  return false;
}

bool TzorWSHTTPServer::ServeDocumentRoot(const TzorHTTPServerRequest& ARequestInfo,
                                         TzorHTTPServerResponse& AResponseInfo) {
  if (DocumentRoot().empty() || !IsGetHeadOrPost(ARequestInfo.Command)) return false;
  std::optional<std::string> content = FDocumentRootFiles->Read(FDocumentRoot, ARequestInfo.URI);
  if (!content) return false;
  AResponseInfo.ContentText = std::move(*content);
  AResponseInfo.ContentType = DefaultMimeTable().TypeOfFile(ARequestInfo.Document);
  AResponseInfo.CharSet = FCharset;
  return true;
}

void TzorWSHTTPServer::StartSession(TzorHTTPServerRequest& ARequestInfo, TzorHTTPServerResponse& AResponseInfo) {
  ARequestInfo.Session = FSessionList.CreateSession(ARequestInfo.RemoteIP);
  TzorHTTPCookie cookie;
  cookie.Name = TzorHTTPSessionList::kCookieName;
  cookie.Value = ARequestInfo.Session->SessionID();
  cookie.Secure = FSSL;
  AResponseInfo.Cookies.push_back(std::move(cookie));
}

bool TzorWSHTTPServer::ForwardHTTP(TzorWSConnectionServer& Connection, TzorHTTPServerRequest& ARequestInfo,
                                   TzorHTTPServerResponse& AResponseInfo) {
  if (!OnBeforeForwardHTTP) return false;
  TzorWSServerForwardHTTP forward;
  // The target as sent: its query and its escapes go along.
  forward.Document = ARequestInfo.URI;
  OnBeforeForwardHTTP(&Connection, ARequestInfo, forward);
  if (!forward.Enabled) return false;
  std::exception_ptr failure;
  try {
    ForwardHTTPRequest(forward, ARequestInfo, AResponseInfo);
  } catch (const std::exception&) {
    failure = std::current_exception();
    AResponseInfo = TzorHTTPServerResponse();
    AResponseInfo.SetStatus(500);
  }
  if (OnAfterForwardHTTP) OnAfterForwardHTTP(&Connection, ARequestInfo, AResponseInfo, failure);
  return true;
}

bool TzorWSHTTPServer::ApplySession(TzorWSConnectionServer& Connection, TzorHTTPServerRequest& ARequestInfo,
                                    TzorHTTPServerResponse& AResponseInfo) {
  if (!FSessionState) return true;
  const std::string id = ARequestInfo.Cookie(TzorHTTPSessionList::kCookieName);
  if (!id.empty()) {
    ARequestInfo.Session = FSessionList.GetSession(id);
    if (!ARequestInfo.Session && OnInvalidSession) {
      bool continueProcessing = true;
      OnInvalidSession(&Connection, ARequestInfo, AResponseInfo, continueProcessing, id);
      if (!continueProcessing) return false;
    }
  }
  if (ARequestInfo.Session || !FAutoStartSession) return true;
  bool create = true;
  if (OnCreateSession) OnCreateSession(&Connection, ARequestInfo, create);
  if (create) StartSession(ARequestInfo, AResponseInfo);
  return true;
}

void TzorWSHTTPServer::SaveUploads(TzorHTTPServerRequest& ARequestInfo) {
  if (!IsFileUpload(FHTTPUploadFiles, ARequestInfo)) return;
  TzorHTTPUploadEvents events;
  if (OnHTTPUploadBeforeSaveFile)
    events.BeforeSaveFile = [this](std::string& name, std::string& path) { OnHTTPUploadBeforeSaveFile(this, name, path); };
  if (OnHTTPUploadAfterSaveFile)
    events.AfterSaveFile = [this](const std::string& name, const std::string& path) {
      OnHTTPUploadAfterSaveFile(this, name, path);
    };
  if (OnHTTPUploadReadInput)
    events.ReadInput = [this](const std::string& name, const std::string& value) {
      OnHTTPUploadReadInput(this, name, value);
    };
  SaveMultipartUploads(FHTTPUploadFiles, ARequestInfo, events);
  ARequestInfo.PostStream.clear();
}

void TzorWSHTTPServer::DoCommandHTTP(TzorWSConnectionServer& Connection, TzorHTTPServerRequest& ARequestInfo,
                                     TzorHTTPServerResponse& AResponseInfo) {
  if (ForwardHTTP(Connection, ARequestInfo, AResponseInfo)) return;
  if (!ApplySession(Connection, ARequestInfo, AResponseInfo)) return;
  if (!CheckHTTPAccess(Connection, ARequestInfo, AResponseInfo)) return;
  // Only a request that passed the access check may write to the disk.
  SaveUploads(ARequestInfo);
  if (!ServeDocumentRoot(ARequestInfo, AResponseInfo)) {
    const TzorHTTPCommandEvent& handler = IsGetHeadOrPost(ARequestInfo.Command) ? OnCommandGet : OnCommandOther;
    if (handler) {
      handler(&Connection, ARequestInfo, AResponseInfo);
    } else {
      AResponseInfo.SetStatus(404);
      AResponseInfo.ContentType = "text/plain";
      AResponseInfo.ContentText = "Not Found";
    }
  }
  if (!Connection.AltSvc().empty()) AResponseInfo.CustomHeaders.push_back(Connection.AltSvc());
}

}  // namespace zor
