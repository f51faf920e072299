#include "json/json_instance.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace zor {
namespace {

TzorJSON* CreateTzorJSON(TInterfacedComponent* aOwner) { return new TzorJSON(aOwner); }

// Owner components of documents made without an owner; destroyed with the
// program.
class OwnerList {
 public:
  ~OwnerList() {
    std::lock_guard lock(FLock);
    for (auto it = FOwners.rbegin(); it != FOwners.rend(); ++it) (*it)->Destroy();
  }
  void Add(TzorOwnerComponent* aOwner) {
    std::lock_guard lock(FLock);
    FOwners.push_back(aOwner);
  }
  // Destroys the owner of aInstance; false when no owner of the list has it.
  bool DestroyOwnerOf(const IzorJSON& aInstance) {
    std::lock_guard lock(FLock);
    auto found = std::find_if(FOwners.begin(), FOwners.end(),
                              [&](TzorOwnerComponent* owner) { return owner->FInstance == aInstance; });
    if (found == FOwners.end()) return false;
    TzorOwnerComponent* owner = *found;
    FOwners.erase(found);
    owner->Destroy();
    return true;
  }

 private:
  std::mutex FLock;
  std::vector<TzorOwnerComponent*> FOwners;
};

OwnerList& Owners() {
  static OwnerList owners;
  return owners;
}

}  // namespace

std::atomic<TzorJSONClass> JSONClass{&CreateTzorJSON};

IzorJSON CreateJSONInstance(TInterfacedComponent* aOwner) {
  TzorJSONClass create = JSONClass.load();
  if (!create) return nullptr;
  if (aOwner) return create(aOwner);
  auto* owner = new TzorOwnerComponent();
  IzorJSON instance = create(owner);
  owner->FInstance = instance;
  Owners().Add(owner);
  return instance;
}

void FreeJSONInstance(const IzorJSON& aInstance) {
  if (!aInstance) return;
  if (!Owners().DestroyOwnerOf(aInstance)) aInstance->Destroy();
}

}  // namespace zor
