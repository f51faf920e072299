#include "oauth2/oauth2_request.h"

#include "base/random.h"

#include <algorithm>
#include <cctype>

namespace zor {

std::string NewOAuth2TokenText() {
  std::string text = NewGuidText() + NewGuidText();
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

int64_t TzorHTTPOAuth2AccessToken::ExpiresIn(TzorOAuth2Time now) const {
  if (Expires <= now) return -1;
  return std::chrono::duration_cast<std::chrono::seconds>(Expires - now).count();
}

TzorHTTPOAuth2Request::TzorHTTPOAuth2Request() : FID(NewOAuth2TokenText()) {}

void TzorHTTPOAuth2Requests::Remove(const TzorHTTPOAuth2RequestPtr& request) {
  FItems.erase(std::remove(FItems.begin(), FItems.end(), request), FItems.end());
}

size_t TzorHTTPOAuth2Requests::Count() const {
  std::lock_guard guard(FLock);
  return FItems.size();
}

}  // namespace zor
