#pragma once
// Sessions of application HTTP requests, carried by a cookie: made on
// request or automatically, found again by the cookie's id, ended on
// expiry, removal or when the list is full. Safe to use from several threads.
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zor {

// One HTTP session and the values the application keeps in it.
class TzorHTTPSession {
 public:
  TzorHTTPSession(std::string id, std::string remoteHost) : FSessionID(std::move(id)), FRemoteHost(std::move(remoteHost)) {}
  const std::string& SessionID() const { return FSessionID; }
  const std::string& RemoteHost() const { return FRemoteHost; }
  std::string Value(const std::string& name) const;
  void SetValue(const std::string& name, std::string value);

 private:
  const std::string FSessionID;
  const std::string FRemoteHost;
  mutable std::mutex FLock;
  std::map<std::string, std::string> FContent;
};

// The sessions of a server.
class TzorHTTPSessionList {
 public:
  using Clock = std::chrono::steady_clock;
  using TSessionEvent = std::function<void(TzorHTTPSession& Session)>;
  static constexpr const char* kCookieName = "ZORSESSIONID";

  // A session unused for `timeOut` ends; at most `maxSessions` live at once
  // (a new one ends the least recently used).
  explicit TzorHTTPSessionList(std::chrono::milliseconds timeOut = std::chrono::minutes(20),
                               size_t maxSessions = 10000);
  virtual ~TzorHTTPSessionList() = default;

  // A new session with a fresh random id; OnSessionStart follows.
  std::shared_ptr<TzorHTTPSession> CreateSession(const std::string& remoteHost);
  // The live session of the id (its use counted now), or null.
  std::shared_ptr<TzorHTTPSession> GetSession(const std::string& id);
  // Ends the session (OnSessionEnd); false when there is none.
  bool RemoveSession(const std::string& id);
  size_t Count() const;
  void SetTimeOut(std::chrono::milliseconds value);
  void SetMaxSessions(size_t value);

  TSessionEvent OnSessionStart;
  TSessionEvent OnSessionEnd;

 protected:
  virtual Clock::time_point Now() const { return Clock::now(); }

 private:
  struct Entry {
    std::shared_ptr<TzorHTTPSession> Session;
    Clock::time_point LastUse;
  };
  static std::string KeyOf(const std::string& id);
  // Takes out what expired (and the least recently used beyond the bound);
  // the caller raises OnSessionEnd for them outside the lock.
  std::vector<std::shared_ptr<TzorHTTPSession>> TakeEndedLocked(Clock::time_point now, size_t room);
  void RaiseEnded(const std::vector<std::shared_ptr<TzorHTTPSession>>& ended);

  mutable std::mutex lock_;
  std::map<std::string, Entry> sessions_;
  std::chrono::milliseconds timeOut_;
  size_t maxSessions_;
};

}  // namespace zor
