#pragma once
// The sessions a server has issued: one login each, looked up by an id the
// client got from a session request. Safe to use from several threads.
#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace zor {

// The sessions a server has issued, looked up by id.
class TzorWSSessionList {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr size_t kDefaultMaxSessions = 100000;

  explicit TzorWSSessionList(std::chrono::seconds timeOut = std::chrono::seconds(300),
                             size_t maxSessions = kDefaultMaxSessions);
  virtual ~TzorWSSessionList() = default;

  // False (nothing stored) for an empty id, an id already stored, or a full list.
  bool AddSession(const std::string& aID, const std::string& aUser, const std::string& aPassword);
  bool SessionExists(const std::string& aID) const;
  // Finds and removes a live session in one step: a session serves one login
  // even when two upgrades race with the same id.
  bool TakeSession(const std::string& aID, std::string& aUser, std::string& aPassword);
  void RemoveSession(const std::string& aID);
  size_t Count() const;
  void SetTimeOut(std::chrono::seconds value);

 protected:
  virtual Clock::time_point Now() const { return Clock::now(); }

 private:
  struct Session {
    std::string User, Password;
    Clock::time_point Expires;
  };
  // Sessions are found by the digest of their id, so a lookup never compares
  // the secret ids themselves byte by byte.
  static std::string KeyOf(const std::string& aID);
  void DropExpiredLocked(Clock::time_point now);

  mutable std::mutex lock_;
  std::map<std::string, Session> sessions_;
  std::chrono::seconds timeOut_;
  size_t maxSessions_;
};

}  // namespace zor
