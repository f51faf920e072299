#pragma once
// A list of texts behind its own re-entrant lock. Like the framework string
// lists it stands in for, texts compare ignoring case unless CaseSensitive is
// set, and "name=value" entries can be found by name.
#include "base/critical_section.h"

#include <atomic>
#include <string>
#include <vector>

namespace zor {

// A list of texts behind its own re-entrant lock.
class TzorThreadSafeStringList {
 public:
  // Appends S and returns its index.
  size_t Add(const std::string& S);
  void Clear();
  // An index at or beyond Count raises EListError.
  void Delete(size_t Index);
  // Index of the first entry equal to S, or -1.
  int IndexOf(const std::string& S) const;
  // Index of the first "name=value" entry whose name is Name, or -1.
  int IndexOfName(const std::string& Name) const;

  size_t Count() const;
  // A copy of the entry at Index; EListError beyond the end.
  std::string Strings(size_t Index) const;
  // A copy of all entries, taken in one locked step.
  std::vector<std::string> Items() const;

  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool value) { FCaseSensitive = value; }

 private:
  bool Same(const std::string& a, const std::string& b) const;

  mutable TzorCriticalSection FLock;
  std::vector<std::string> FItems;
  std::atomic<bool> FCaseSensitive{false};
};

}  // namespace zor
