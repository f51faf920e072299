#include "http2/server_options.h"

#include <algorithm>

namespace zor {

void TzorHTTP2ServerSettings::Assign(const TPersistent& source) {
  const auto* settings = dynamic_cast<const TzorHTTP2ServerSettings*>(&source);
  if (!settings) return TPersistent::Assign(source);
  static_cast<TzorHTTP2SettingsValues&>(*this) = *settings;
}

void TzorHTTP2Request::Assign(const TPersistent& source) {
  const auto* request = dynamic_cast<const TzorHTTP2Request*>(&source);
  if (!request) return TPersistent::Assign(source);
  *this = *request;
}

std::string TzorHTTP2Request::CookiesHeader() const {
  std::string header;
  for (const std::string& cookie : Cookies) {
    if (!header.empty()) header += ';';
    header += cookie;
  }
  return header;
}

void TzorHTTP2PushPromiseList::AddPushPromise(const std::string& path, const std::vector<std::string>& links) {
  FItems.emplace_back(path, links);
}

void TzorHTTP2PushPromiseList::RemovePushPromise(const std::string& path) {
  std::erase_if(FItems, [&](const auto& item) { return item.first == path; });
}

const std::vector<std::string>* TzorHTTP2PushPromiseList::GetPushPromiseLinks(const std::string& path) const {
  const auto found =
      std::find_if(FItems.begin(), FItems.end(), [&](const auto& item) { return item.first == path; });
  return found == FItems.end() || found->second.empty() ? nullptr : &found->second;
}

}  // namespace zor
