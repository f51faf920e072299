#pragma once
// Command-line options shared by the window and the console front end.
#include <string>
#include <utility>
#include <vector>

namespace zor {

struct TzorClientOptions {
  bool help = false;
  bool local = false;              // run against the in-process local service
  std::string settings_path;       // empty: the default location
  std::vector<std::pair<std::string, std::string>> fields;  // field name, text
  std::vector<std::string> commands;                         // in order
};

// Parses "--local", "--settings FILE", "--<field> VALUE" / "--<field>=VALUE"
// (field names as FieldOptionName gives them) and command names. Raises
// zor::Exception with a usage message on anything else.
TzorClientOptions ParseClientOptions(const std::vector<std::string>& args);

// The --help text for `program`, naming where the settings file is.
std::string ClientUsage(const std::string& program, const std::string& settings_path);

}  // namespace zor
