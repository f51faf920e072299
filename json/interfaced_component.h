#pragma once
// Components with an owner and counted handles.
//
// An owner destroys the components it owns when it goes. A handle
// (TzorHandle) counts references but never destroys on its own: destruction is
// always requested by an owner or by Destroy(), and is deferred until the last
// handle is released when handles are outstanding. This keeps a node that a
// caller holds usable after its document went away. Counts are plain integers:
// one thread uses a document at a time.
#include <cstdint>
#include <utility>

namespace zor {

// Base of counted objects that may also have an owner that destroys them.
class TInterfacedComponent {
 public:
  explicit TInterfacedComponent(TInterfacedComponent* aOwner = nullptr) { Attach(aOwner); }
  TInterfacedComponent(const TInterfacedComponent&) = delete;
  TInterfacedComponent& operator=(const TInterfacedComponent&) = delete;
  // Destroys every component this one still owns. Only for components that
  // live on the stack or whose destruction was already decided; heap
  // components are released with Destroy().
  virtual ~TInterfacedComponent();

  TInterfacedComponent* Owner() const { return FOwner; }

  // Requests destruction: leaves the owner at once and frees the storage now,
  // or at the last release while handles are outstanding. Heap objects only.
  void Destroy();

  // The counted-handle protocol; both report no count.
  int32_t _AddRef() {
    ++FRefCount;
    return -1;
  }
  int32_t _Release() {
    if (--FRefCount == 0 && FDestroyObject) delete this;
    return -1;
  }

 protected:
  // Work that has to happen when destruction is requested, even if the storage
  // itself stays until the last release.
  virtual void BeforeDestroy() {}

 private:
  // Inline: documents make and drop nodes by the thousand.
  void Attach(TInterfacedComponent* aOwner) {
    if (!aOwner) return;
    FOwner = aOwner;
    FNextSibling = aOwner->FFirstOwned;
    if (FNextSibling) FNextSibling->FPrevSibling = this;
    aOwner->FFirstOwned = this;
  }
  void Detach() {
    if (!FOwner) return;
    if (FPrevSibling) {
      FPrevSibling->FNextSibling = FNextSibling;
    } else {
      FOwner->FFirstOwned = FNextSibling;
    }
    if (FNextSibling) FNextSibling->FPrevSibling = FPrevSibling;
    FOwner = FPrevSibling = FNextSibling = nullptr;
  }
  void DestroyOwned();

  int32_t FRefCount = 0;
  bool FDestroyObject = false;
  TInterfacedComponent* FOwner = nullptr;
  // Owned components as an intrusive list: no allocation per component.
  TInterfacedComponent* FFirstOwned = nullptr;
  TInterfacedComponent* FPrevSibling = nullptr;
  TInterfacedComponent* FNextSibling = nullptr;
};

// A counted handle: a null handle or a reference that keeps the object's
// storage alive past a destruction request until it is released.
template <class T>
class TzorHandle {
 public:
  TzorHandle() = default;
  TzorHandle(std::nullptr_t) {}
  TzorHandle(T* aObject) : FObject(aObject) {
    if (FObject) FObject->_AddRef();
  }
  template <class U>
  TzorHandle(const TzorHandle<U>& aOther) : TzorHandle(aOther.get()) {}
  TzorHandle(const TzorHandle& aOther) : TzorHandle(aOther.FObject) {}
  TzorHandle(TzorHandle&& aOther) noexcept : FObject(std::exchange(aOther.FObject, nullptr)) {}
  TzorHandle& operator=(TzorHandle aOther) noexcept {
    std::swap(FObject, aOther.FObject);
    return *this;
  }
  ~TzorHandle() {
    if (FObject) FObject->_Release();
  }

  T* get() const { return FObject; }
  T* operator->() const { return FObject; }
  T& operator*() const { return *FObject; }
  explicit operator bool() const { return FObject != nullptr; }
  friend bool operator==(const TzorHandle& a, const TzorHandle& b) { return a.FObject == b.FObject; }
  friend bool operator==(const TzorHandle& a, std::nullptr_t) { return a.FObject == nullptr; }

 private:
  T* FObject = nullptr;
};

}  // namespace zor
