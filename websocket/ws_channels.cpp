// The channels a connection is subscribed to (used by subprotocols and the
// server's broadcasts).
#include "websocket/ws_connection.h"

#include <algorithm>

namespace zor {

namespace {

std::vector<std::string> SplitChannels(const std::string& channels) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = channels.find(',', start);
    parts.push_back(channels.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool Contains(const std::vector<std::string>& list, const std::string& channel) {
  return std::find(list.begin(), list.end(), channel) != list.end();
}

}  // namespace

void TzorWSConnection::DoSubscribe(const std::string& aChannels) {
  for (const std::string& channel : SplitChannels(aChannels)) {
    {
      std::lock_guard guard(fields_lock_);
      if (Contains(subscriptions_, channel)) continue;
      subscriptions_.push_back(channel);
      last_subscription_ = channel;
    }
    if (OnSubscription) OnSubscription(this, channel);
  }
}

void TzorWSConnection::DoUnSubscribe(const std::string& aChannels) {
  for (const std::string& channel : SplitChannels(aChannels)) {
    {
      std::lock_guard guard(fields_lock_);
      const auto at = std::find(subscriptions_.begin(), subscriptions_.end(), channel);
      if (at == subscriptions_.end()) continue;
      subscriptions_.erase(at);
      last_unsubscription_ = channel;
    }
    if (OnUnSubscription) OnUnSubscription(this, channel);
  }
}

bool TzorWSConnection::Subscribed(const std::string& aChannel) const {
  if (aChannel.empty()) return true;
  std::lock_guard guard(fields_lock_);
  for (const std::string& channel : SplitChannels(aChannel))
    if (Contains(subscriptions_, channel)) return true;
  return false;
}

std::vector<std::string> TzorWSConnection::Subscriptions() const {
  std::lock_guard guard(fields_lock_);
  return subscriptions_;
}

std::string TzorWSConnection::LastSubscription() const {
  std::lock_guard guard(fields_lock_);
  return last_subscription_;
}

std::string TzorWSConnection::LastUnSubscription() const {
  std::lock_guard guard(fields_lock_);
  return last_unsubscription_;
}

}  // namespace zor
