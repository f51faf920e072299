#include "server/session_list.h"

#include <openssl/sha.h>

namespace zor {

TzorWSSessionList::TzorWSSessionList(std::chrono::seconds timeOut, size_t maxSessions)
    : timeOut_(timeOut), maxSessions_(maxSessions) {}

std::string TzorWSSessionList::KeyOf(const std::string& aID) {
  std::string key(SHA256_DIGEST_LENGTH, '\0');
  SHA256(reinterpret_cast<const unsigned char*>(aID.data()), aID.size(), reinterpret_cast<unsigned char*>(key.data()));
  return key;
}

void TzorWSSessionList::DropExpiredLocked(Clock::time_point now) {
  std::erase_if(sessions_, [now](const auto& entry) { return entry.second.Expires <= now; });
}

bool TzorWSSessionList::AddSession(const std::string& aID, const std::string& aUser, const std::string& aPassword) {
  if (aID.empty()) return false;
  const std::string key = KeyOf(aID);
  const auto now = Now();
  std::lock_guard guard(lock_);
  if (sessions_.size() >= maxSessions_) DropExpiredLocked(now);
  if (sessions_.size() >= maxSessions_) return false;
  auto found = sessions_.find(key);
  if (found != sessions_.end()) {
    if (found->second.Expires > now) return false;
    sessions_.erase(found);
  }
  sessions_.emplace(key, Session{aUser, aPassword, now + timeOut_});
  return true;
}

bool TzorWSSessionList::SessionExists(const std::string& aID) const {
  if (aID.empty()) return false;
  const std::string key = KeyOf(aID);
  const auto now = Now();
  std::lock_guard guard(lock_);
  const auto found = sessions_.find(key);
  return found != sessions_.end() && found->second.Expires > now;
}

bool TzorWSSessionList::TakeSession(const std::string& aID, std::string& aUser, std::string& aPassword) {
  if (aID.empty()) return false;
  const std::string key = KeyOf(aID);
  const auto now = Now();
  std::lock_guard guard(lock_);
  const auto found = sessions_.find(key);
  if (found == sessions_.end()) return false;
  const bool live = found->second.Expires > now;
  if (live) {
    aUser = std::move(found->second.User);
    aPassword = std::move(found->second.Password);
  }
  sessions_.erase(found);
  return live;
}

void TzorWSSessionList::RemoveSession(const std::string& aID) {
  const std::string key = KeyOf(aID);
  std::lock_guard guard(lock_);
  sessions_.erase(key);
}

size_t TzorWSSessionList::Count() const {
  std::lock_guard guard(lock_);
  return sessions_.size();
}

void TzorWSSessionList::SetTimeOut(std::chrono::seconds value) {
  std::lock_guard guard(lock_);
  timeOut_ = value;
}

}  // namespace zor
