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

// Trivially destructible, so it stays usable while the thread ends: nodes
// freed by later destructors (static documents of the main thread among
// them) then go straight back to the heap.
struct NodeCache {
  FreeBlock* head;
  size_t count;
  bool closed;
};

thread_local NodeCache tNodeCache;

// Empties the cache when the thread ends and closes it.
struct NodeCacheDrain {
  ~NodeCacheDrain() {
    tNodeCache.closed = true;
    while (FreeBlock* block = tNodeCache.head) {
      tNodeCache.head = block->next;
      ::operator delete(block);
    }
    tNodeCache.count = 0;
  }
};

thread_local NodeCacheDrain tNodeCacheDrain;

void* TakeNodeBlock() {
  NodeCache& cache = tNodeCache;
  if (FreeBlock* block = cache.head) {
    cache.head = block->next;
    --cache.count;
    return block;
  }
  (void)&tNodeCacheDrain;  // the drain exists from the first block on
  return ::operator new(sizeof(TzorObjectJSON));
}

void GiveNodeBlock(void* aBlock) {
  NodeCache& cache = tNodeCache;
  if (cache.closed || cache.count == kMaxCachedNodes) {
    ::operator delete(aBlock);
    return;
  }
  ++cache.count;
  cache.head = new (aBlock) FreeBlock{cache.head};
}

}  // namespace

void* TzorObjectJSON::operator new(size_t aSize) {
  if (!ZOR_NODE_CACHE || aSize != sizeof(TzorObjectJSON)) return ::operator new(aSize);
  return TakeNodeBlock();
}

void TzorObjectJSON::operator delete(void* aBlock, size_t aSize) {
  if (!ZOR_NODE_CACHE || aSize != sizeof(TzorObjectJSON)) return ::operator delete(aBlock);
  GiveNodeBlock(aBlock);
}

}  // namespace zor
