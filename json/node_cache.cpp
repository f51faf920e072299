// Per-thread cache of freed node blocks. A block freed on another thread
// than the one that made it simply joins that thread's cache.
#include <new>

#include "json/json.h"

namespace zor {
namespace {

#if defined(__SANITIZE_ADDRESS__)
#define ZOR_NODE_CACHE 0  // keep every node visible to the address sanitizer
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZOR_NODE_CACHE 0
#endif
#endif
#ifndef ZOR_NODE_CACHE
#define ZOR_NODE_CACHE 1
#endif

// Bounds what an idle thread keeps: about 0.75 MB of node blocks.
constexpr size_t kMaxCachedNodes = 4096;

struct FreeBlock {
  FreeBlock* next;
};

class NodeCache {
 public:
  ~NodeCache() {
    while (FHead) ::operator delete(std::exchange(FHead, FHead->next));
  }
  void* Take() {
    if (!FHead) return ::operator new(sizeof(TzorObjectJSON));
    --FCount;
    return std::exchange(FHead, FHead->next);
  }
  void Give(void* aBlock) {
    if (FCount == kMaxCachedNodes) {
      ::operator delete(aBlock);
      return;
    }
    ++FCount;
    FHead = new (aBlock) FreeBlock{FHead};
  }

 private:
  FreeBlock* FHead = nullptr;
  size_t FCount = 0;
};

thread_local NodeCache tNodeCache;

}  // namespace

void* TzorObjectJSON::operator new(size_t aSize) {
  if (!ZOR_NODE_CACHE || aSize != sizeof(TzorObjectJSON)) return ::operator new(aSize);
  return tNodeCache.Take();
}

void TzorObjectJSON::operator delete(void* aBlock, size_t aSize) {
  if (!ZOR_NODE_CACHE || aSize != sizeof(TzorObjectJSON)) return ::operator delete(aBlock);
  tNodeCache.Give(aBlock);
}

}  // namespace zor
