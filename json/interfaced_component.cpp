#include "json/interfaced_component.h"

namespace zor {

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

void TInterfacedComponent::DestroyOwned() {
  // Each Destroy detaches the component from this list.
  while (FFirstOwned) FFirstOwned->Destroy();
}

}  // namespace zor
