#pragma once
// Documents for components that do not want to manage an owner.
#include <atomic>

#include "json/json.h"

namespace zor {

// The class documents are made of: a function creating one with an owner.
using TzorJSONClass = TzorJSON* (*)(TInterfacedComponent* aOwner);

// Initially makes a TzorJSON; an application may substitute a subclass, or
// clear it (then CreateJSONInstance gives null handles).
extern std::atomic<TzorJSONClass> JSONClass;

// Owns a document made by CreateJSONInstance when the caller gave no owner.
class TzorOwnerComponent : public TInterfacedComponent {
 public:
  using TInterfacedComponent::TInterfacedComponent;
  IzorJSON FInstance;
};

// A new document from JSONClass owned by aOwner; without an owner, a
// TzorOwnerComponent kept in a module list owns it until FreeJSONInstance or
// program end.
IzorJSON CreateJSONInstance(TInterfacedComponent* aOwner = nullptr);

// Destroys the owner component made for aInstance (and with it the document),
// or else the document itself. The document's storage stays until the last
// handle, aInstance included, is released.
void FreeJSONInstance(const IzorJSON& aInstance);

}  // namespace zor
