#pragma once
// Named groups of a server's connections, for broadcasts to a part of them:
// a connection joins groups by name, leaves all of them when it goes, and a
// text is sent to every member of the groups whose names match a mask.
// Groups stay when they become empty. Thread-safe; no lock is held while an
// event runs or a message is written.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zor {

class TzorWSConnection;

// One named group and its members, as taken at one moment.
struct TzorWSServerGroupItem {
  std::string Name;
  std::vector<std::shared_ptr<TzorWSConnection>> Clients;
};

// Named groups of a server's connections.
class TzorWSServerGroups {
 public:
  using TClientEvent =
      std::function<void(TzorWSServerGroups* Sender, const std::string& aGroup, TzorWSConnection* aConnection)>;

  // Adds the connection to the group (made when missing) unless it is in it
  // already; OnClientAdded follows an addition. Returns whether it was added.
  bool Add(const std::string& aGroupName, TzorWSConnection* aConnection);
  // Takes the connection out of every group, OnClientRemoved for each.
  void Remove(TzorWSConnection* aConnection);
  // The text to every member of every group whose name matches the mask
  // (MatchMask); a member's failure does not stop the others.
  void BroadCast(const std::string& aGroupMask, const std::string& aMessage);
  std::optional<TzorWSServerGroupItem> GetGroupByName(const std::string& aName) const;
  size_t Count() const;

  TClientEvent OnClientAdded;
  TClientEvent OnClientRemoved;

 private:
  struct Member {
    std::string Guid;
    std::weak_ptr<TzorWSConnection> Connection;
  };
  struct Group {
    std::string Name;
    std::vector<Member> Members;
  };
  mutable std::mutex FLock;
  std::vector<Group> FGroups;
};

}  // namespace zor
