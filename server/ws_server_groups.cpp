#include "server/ws_server_groups.h"

#include <algorithm>

#include "base/text.h"
#include "websocket/ws_connection.h"

namespace zor {

bool TzorWSServerGroups::Add(const std::string& aGroupName, TzorWSConnection* aConnection) {
  if (!aConnection) return false;
  const std::string guid = aConnection->Guid();
  {
    std::lock_guard guard(FLock);
    auto group = std::find_if(FGroups.begin(), FGroups.end(), [&](const Group& g) { return g.Name == aGroupName; });
    if (group == FGroups.end()) group = FGroups.insert(FGroups.end(), Group{aGroupName, {}});
    const bool member = std::any_of(group->Members.begin(), group->Members.end(),
                                    [&](const Member& m) { return m.Guid == guid; });
    if (member) return false;
    group->Members.push_back({guid, aConnection->weak_from_this()});
  }
  if (OnClientAdded) OnClientAdded(this, aGroupName, aConnection);
  return true;
}

void TzorWSServerGroups::Remove(TzorWSConnection* aConnection) {
  if (!aConnection) return;
  const std::string guid = aConnection->Guid();
  std::vector<std::string> left;
  {
    std::lock_guard guard(FLock);
    for (Group& group : FGroups) {
      if (std::erase_if(group.Members, [&](const Member& m) { return m.Guid == guid; }) > 0)
        left.push_back(group.Name);
    }
  }
  if (OnClientRemoved)
    for (const std::string& name : left) OnClientRemoved(this, name, aConnection);
}

void TzorWSServerGroups::BroadCast(const std::string& aGroupMask, const std::string& aMessage) {
  std::vector<std::shared_ptr<TzorWSConnection>> clients;
  {
    std::lock_guard guard(FLock);
    for (const Group& group : FGroups) {
      if (!MatchMask(group.Name, aGroupMask)) continue;
      for (const Member& member : group.Members)
        if (auto connection = member.Connection.lock()) clients.push_back(std::move(connection));
    }
  }
  for (const auto& client : clients) {
    try {
      client->WriteData(aMessage);
    } catch (const std::exception&) {
      // one member's failure does not stop the others
    }
  }
}

std::optional<TzorWSServerGroupItem> TzorWSServerGroups::GetGroupByName(const std::string& aName) const {
  std::lock_guard guard(FLock);
  for (const Group& group : FGroups) {
    if (group.Name != aName) continue;
    TzorWSServerGroupItem item{group.Name, {}};
    for (const Member& member : group.Members)
      if (auto connection = member.Connection.lock()) item.Clients.push_back(std::move(connection));
    return item;
  }
  return std::nullopt;
}

size_t TzorWSServerGroups::Count() const {
  std::lock_guard guard(FLock);
  return FGroups.size();
}

}  // namespace zor
