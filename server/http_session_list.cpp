#include "server/http_session_list.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/digest.h"
#include "base/random.h"

namespace zor {

std::string TzorHTTPSession::Value(const std::string& name) const {
  std::lock_guard guard(FLock);
  const auto found = FContent.find(name);
  return found == FContent.end() ? std::string() : found->second;
}

void TzorHTTPSession::SetValue(const std::string& name, std::string value) {
  std::lock_guard guard(FLock);
  FContent[name] = std::move(value);
}

TzorHTTPSessionList::TzorHTTPSessionList(std::chrono::milliseconds timeOut, size_t maxSessions)
    : timeOut_(timeOut), maxSessions_(std::max<size_t>(maxSessions, 1)) {}

std::string TzorHTTPSessionList::KeyOf(const std::string& id) { return BytesToText(HashSHA256(UTF8TextToBytes(id))); }

std::shared_ptr<TzorHTTPSession> TzorHTTPSessionList::CreateSession(const std::string& remoteHost) {
  uint8_t random[16];
  RandomBytes(random, sizeof random);
  auto session = std::make_shared<TzorHTTPSession>(BytesToHexText(random, sizeof random), remoteHost);
  std::vector<std::shared_ptr<TzorHTTPSession>> ended;
  {
    std::lock_guard guard(lock_);
    const auto now = Now();
    ended = TakeEndedLocked(now, 1);
    sessions_[KeyOf(session->SessionID())] = {session, now};
  }
  RaiseEnded(ended);
  if (OnSessionStart) OnSessionStart(*session);
  return session;
}

std::shared_ptr<TzorHTTPSession> TzorHTTPSessionList::GetSession(const std::string& id) {
  if (id.empty()) return nullptr;
  std::shared_ptr<TzorHTTPSession> found;
  std::vector<std::shared_ptr<TzorHTTPSession>> ended;
  {
    std::lock_guard guard(lock_);
    const auto now = Now();
    ended = TakeEndedLocked(now, 0);
    const auto entry = sessions_.find(KeyOf(id));
    if (entry != sessions_.end()) {
      entry->second.LastUse = now;
      found = entry->second.Session;
    }
  }
  RaiseEnded(ended);
  return found;
}

bool TzorHTTPSessionList::RemoveSession(const std::string& id) {
  std::shared_ptr<TzorHTTPSession> removed;
  {
    std::lock_guard guard(lock_);
    const auto entry = sessions_.find(KeyOf(id));
    if (entry == sessions_.end()) return false;
    removed = std::move(entry->second.Session);
    sessions_.erase(entry);
  }
  RaiseEnded({removed});
  return true;
}

size_t TzorHTTPSessionList::Count() const {
  std::lock_guard guard(lock_);
  return sessions_.size();
}

void TzorHTTPSessionList::SetTimeOut(std::chrono::milliseconds value) {
  std::lock_guard guard(lock_);
  timeOut_ = value;
}

void TzorHTTPSessionList::SetMaxSessions(size_t value) {
  std::lock_guard guard(lock_);
  maxSessions_ = std::max<size_t>(value, 1);
}

std::vector<std::shared_ptr<TzorHTTPSession>> TzorHTTPSessionList::TakeEndedLocked(Clock::time_point now,
                                                                                    size_t room) {
  std::vector<std::shared_ptr<TzorHTTPSession>> ended;
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (now - it->second.LastUse >= timeOut_) {
      ended.push_back(std::move(it->second.Session));
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
  while (!sessions_.empty() && sessions_.size() + room > maxSessions_) {
    auto oldest = std::min_element(sessions_.begin(), sessions_.end(),
                                   [](const auto& a, const auto& b) { return a.second.LastUse < b.second.LastUse; });
    ended.push_back(std::move(oldest->second.Session));
    sessions_.erase(oldest);
  }
  return ended;
}

void TzorHTTPSessionList::RaiseEnded(const std::vector<std::shared_ptr<TzorHTTPSession>>& ended) {
  if (!OnSessionEnd) return;
  for (const auto& session : ended) OnSessionEnd(*session);
}

}  // namespace zor
