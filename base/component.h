#pragma once
// Base of the library's components.
#include <string>

namespace zor {

// Base of the library's components; carries the library version.
class TzorComponent_Base {
 public:
  virtual ~TzorComponent_Base() = default;
  static constexpr const char* kVersion = "2023.6.0";
  std::string Version() const { return kVersion; }
};

}  // namespace zor
