#include "json/interfaced_component.h"

namespace zor {

TInterfacedComponent::TInterfacedComponent(TInterfacedComponent* aOwner) { Attach(aOwner); }

TInterfacedComponent::~TInterfacedComponent() {
  DestroyOwned();
  Detach();
}

void TInterfacedComponent::Destroy() {
  if (FDestroyObject) return;  // already requested; the last release frees it
  FDestroyObject = true;
  BeforeDestroy();
  Detach();
  if (FRefCount == 0) delete this;
}

void TInterfacedComponent::Attach(TInterfacedComponent* aOwner) {
  if (!aOwner) return;
  FOwner = aOwner;
  FNextSibling = aOwner->FFirstOwned;
  if (FNextSibling) FNextSibling->FPrevSibling = this;
  aOwner->FFirstOwned = this;
}

void TInterfacedComponent::Detach() {
  if (!FOwner) return;
  if (FPrevSibling) {
    FPrevSibling->FNextSibling = FNextSibling;
  } else {
    FOwner->FFirstOwned = FNextSibling;
  }
  if (FNextSibling) FNextSibling->FPrevSibling = FPrevSibling;
  FOwner = FPrevSibling = FNextSibling = nullptr;
}

void TInterfacedComponent::DestroyOwned() {
  // Each Destroy detaches the component from this list.
  while (FFirstOwned) FFirstOwned->Destroy();
}

}  // namespace zor
