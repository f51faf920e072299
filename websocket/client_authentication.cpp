#include "websocket/client_authentication.h"

#include <vector>

#include "base/url.h"

namespace zor {

void TzorWSAuthentication_Switch::Assign(const TPersistent& source) {
  const auto* from = dynamic_cast<const TzorWSAuthentication_Switch*>(&source);
  if (!from || std::string_view(from->ClassName()) != ClassName()) return TPersistent::Assign(source);
  FEnabled = from->FEnabled;
}

void TzorWSAuthenticationClient_Session::Assign(const TPersistent& source) {
  TzorWSAuthentication_Switch::Assign(source);
  const auto& from = static_cast<const TzorWSAuthenticationClient_Session&>(source);
  FID = from.FID;
  FExtensions = from.FExtensions;
  FProtocols = from.FProtocols;
}

void TzorWSAuthenticationClient_Token::Assign(const TPersistent& source) {
  TzorWSAuthentication_Switch::Assign(source);
  const auto& from = static_cast<const TzorWSAuthenticationClient_Token&>(source);
  FAuthName = from.FAuthName;
  FAuthToken = from.FAuthToken;
  sources_.Assign(from.sources_);
}

void TzorWSAuthenticationClient_Options::Assign(const TPersistent& source) {
  TzorWSAuthentication_Switch::Assign(source);
  const auto& from = static_cast<const TzorWSAuthenticationClient_Options&>(source);
  FURL.Assign(from.FURL);
  FPassword = from.FPassword;
  FSession.Assign(from.FSession);
  FBasic.Assign(from.FBasic);
  FToken.Assign(from.FToken);
  FUser = from.FUser;
}

std::string URLAuthenticationPath(const std::string& user, const std::string& password) {
  return kURLConnectPath + PercentEncode(user, false) + "/" + PercentEncode(password, false);
}

std::string SessionRequestURL(bool tls, const std::string& host, int port, const std::string& user,
                              const std::string& password) {
  return std::string(tls ? "https://" : "http://") + host + ":" + std::to_string(port) + kSessionRequestPath +
         PercentEncode(user, false) + "/" + PercentEncode(password, false);
}

bool ReadSessionAnswer(std::string_view body, TzorWSAuthenticationClient_Session& session) {
  std::vector<std::string> lines;
  while (!body.empty()) {
    const size_t end = body.find('\n');
    std::string_view line = body.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace_back(line);
    body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
  }
  if (lines.size() > 2) {
    session.SetID(lines[0]);
    session.SetExtensions(lines[1]);
    session.SetProtocols(lines[2]);
  }
  return !session.ID().empty();
}

}  // namespace zor
