#pragma once
// Root of the library's exceptions. Messages are part of the interface, and
// some callers compare class names, so every class reports its own.
#include <stdexcept>
#include <string>

namespace zor {

// Base of the library's exceptions: an English message and a class name.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  std::string Message() const { return what(); }
  virtual const char* ClassName() const { return "Exception"; }
};

// A value that cannot be converted (text to number, hexadecimal, class to class).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EConvertError"; }
};

// A list index out of bounds, or a duplicate a list refuses.
class EListError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EListError"; }
};

}  // namespace zor
