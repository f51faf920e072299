#pragma once
// Base of the library's HTTP components: a component with an owner.
#include "base/component.h"

namespace zor {

// Base of the library's HTTP components: a component with an owner.
class TzorHTTPComponentClient_Base : public TzorComponent_Base {
 public:
  explicit TzorHTTPComponentClient_Base(TzorComponent_Base* owner = nullptr) : owner_(owner) {}
  TzorComponent_Base* Owner() const { return owner_; }

 private:
  TzorComponent_Base* owner_;
};

}  // namespace zor
