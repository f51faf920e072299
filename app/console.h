#pragma once
// The console front end: the window's fields as named options and its fifteen
// commands, one-shot or at an interactive prompt.
#include <iosfwd>
#include <string>
#include <vector>

namespace zor {

struct TzorConsoleIO {
  std::istream& in;
  std::ostream& out;  // answers and the prompt
  std::ostream& err;  // failures
};

// Runs the front end with the arguments after the program name and returns
// the exit code: 0 success, 1 a command failed, 2 bad usage.
int RunConsole(const std::vector<std::string>& args, TzorConsoleIO io);

}  // namespace zor
