#include "base/thread_list.h"

#include "base/format.h"

#include <cinttypes>

namespace zor {

void RaiseListDuplicate(const void* item) {
  throw EListError(Format("List does not allow duplicates ($0%" PRIXPTR ")", reinterpret_cast<uintptr_t>(item)));
}

void RaiseListIndex(size_t index) { throw EListError(Format("List index out of bounds (%zu)", index)); }

}  // namespace zor
