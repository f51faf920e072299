#include "base/thread_safe_string_list.h"

#include "base/text.h"
#include "base/thread_list.h"

#include <mutex>

namespace zor {

bool TzorThreadSafeStringList::Same(const std::string& a, const std::string& b) const {
  return FCaseSensitive ? a == b : SameText(a, b);
}

size_t TzorThreadSafeStringList::Add(const std::string& S) {
  std::lock_guard lock(FLock);
  FItems.push_back(S);
  return FItems.size() - 1;
}

void TzorThreadSafeStringList::Clear() {
  std::lock_guard lock(FLock);
  FItems.clear();
}

void TzorThreadSafeStringList::Delete(size_t Index) {
  std::lock_guard lock(FLock);
  if (Index >= FItems.size()) RaiseListIndex(Index);
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(Index));
}

int TzorThreadSafeStringList::IndexOf(const std::string& S) const {
  std::lock_guard lock(FLock);
  for (size_t i = 0; i < FItems.size(); ++i)
    if (Same(FItems[i], S)) return static_cast<int>(i);
  return -1;
}

int TzorThreadSafeStringList::IndexOfName(const std::string& Name) const {
  std::lock_guard lock(FLock);
  for (size_t i = 0; i < FItems.size(); ++i) {
    const size_t equals = FItems[i].find('=');
    if (equals != std::string::npos && Same(FItems[i].substr(0, equals), Name)) return static_cast<int>(i);
  }
  return -1;
}

size_t TzorThreadSafeStringList::Count() const {
  std::lock_guard lock(FLock);
  return FItems.size();
}

std::string TzorThreadSafeStringList::Strings(size_t Index) const {
  std::lock_guard lock(FLock);
  if (Index >= FItems.size()) RaiseListIndex(Index);
  return FItems[Index];
}

std::vector<std::string> TzorThreadSafeStringList::Items() const {
  std::lock_guard lock(FLock);
  return FItems;
}

}  // namespace zor
