#pragma once
// Option objects are copied by value with Assign; a source of an unrelated
// class fails with "Cannot assign a <source> to a <destination>".
#include <string>

namespace zor {

// Base of option objects: copied with Assign, named by ClassName.
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual const char* ClassName() const { return "TPersistent"; }

  // Overrides copy from sources they know and call the base for the rest.
  virtual void Assign(const TPersistent& source);

 protected:
  // The source's side of the generic assignment; fails unless overridden.
  virtual void AssignTo(TPersistent& dest) const;
};

}  // namespace zor
