// Requests of any shape at the authorization server: head lines and a body
// (split at the first empty line) go through every step without a fault, and
// no answer carries a line break in its redirect address.
#include "oauth2/oauth2_server.h"

#include <cstdlib>

namespace {

zor::TzorHTTPComponentServer_OAuth2& Server() {
  static zor::TzorHTTPComponentServer_OAuth2* server = [] {
    auto* s = new zor::TzorHTTPComponentServer_OAuth2();
    std::string id, secret;
    s->RegisterApp("app", "https://app/cb", id, secret);
    s->OnOAuth2Authentication = [](zor::TzorWSConnection*, const zor::TzorHTTPOAuth2Request&,
                                   const std::string& user, const std::string&, bool& ok) { ok = user == "u"; };
    s->OAuth2Options().Authorization().MaxPendingRequests = 50;
    return s;
  }();
  return *server;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zor;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t split = text.find("\n\n");
  std::vector<std::string> lines;
  size_t start = 0;
  const std::string head = text.substr(0, split);
  while (start <= head.size()) {
    const size_t end = std::min(head.find('\n', start), head.size());
    lines.push_back(head.substr(start, end - start));
    start = end + 1;
  }
  const std::string body = split == std::string::npos ? "" : text.substr(split + 2);
  const auto answer = Server().DoProcessHTTP(nullptr, ReadOAuth2HTTPRequest(lines, body));
  if (answer.Location.find_first_of("\r\n") != std::string::npos) std::abort();
  Server().IsOAuth2TokenValid(nullptr, lines);
  if (Server().RequestCount() > 10000) std::abort();
  return 0;
}
