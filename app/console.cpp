#include "app/console.h"

#include "app/client_options.h"
#include "app/ini_file.h"
#include "app/local_service.h"
#include "app/pinecone_form.h"
#include "app/settings_location.h"

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

namespace zor {

namespace {

class Console {
 public:
  Console(TzorConsoleIO io, std::string settings_path) : io_(io), settings_path_(std::move(settings_path)) {}

  // One command; the answer (the new log text) goes to `out`.
  bool Run(const std::string& name) {
    try {
      form_.Run(*TzorPineconeForm::FindCommand(name));
      io_.out << form_.LogText() << '\n';
      return true;
    } catch (const std::exception& e) {
      io_.err << e.what() << '\n';
      return false;
    }
  }

  void Interactive() {
    ListCommands();
    io_.out << "Also: set <field> <text>, show, help, quit\n";
    std::string line;
    while (io_.out << "zorpinecone> " << std::flush, std::getline(io_.in, line)) {
      std::istringstream words(line);
      std::string word;
      words >> word;
      if (word.empty()) continue;
      if (word == "quit" || word == "exit") break;
      if (word == "help") {
        io_.out << ClientUsage("zorpinecone-cli", settings_path_) << '\n';
      } else if (word == "show") {
        Show();
      } else if (word == "set") {
        // A new API brings its own commands.
        if (Set(words)) ListCommands();
      } else if (TzorPineconeForm::FindCommand(word)) {
        Run(word);
      } else {
        io_.err << "Unknown command " << word << " (try help)\n";
      }
    }
  }

  TzorPineconeForm& Form() { return form_; }

 private:
  // The commands of the API in use.
  void ListCommands() {
    io_.out << "Commands (" << form_.FieldText(kApiField) << " API):";
    for (const auto& command : TzorPineconeForm::Commands()) {
      if (InScope(command.Scope(), form_.FieldText(kApiField))) io_.out << ' ' << CommandOptionName(command.caption);
    }
    io_.out << '\n';
  }

  // The fields of the API in use.
  void Show() {
    for (const auto& field : FormFields()) {
      if (!InScope(field.scope, form_.FieldText(kApiField))) continue;
      const std::string& text = form_.FieldText(field.name);
      io_.out << FieldOptionName(field.name) << " = "
              << (std::string_view(field.name) == "txtApiKey" ? std::string(text.size(), '*') : text) << '\n';
    }
  }

  // True when the API switch changed.
  bool Set(std::istringstream& words) {
    std::string option;
    words >> option;
    std::string value;
    std::getline(words >> std::ws, value);
    for (const auto& field : FormFields()) {
      if (FieldOptionName(field.name) != option) continue;
      const std::string api = form_.FieldText(kApiField);
      try {
        form_.SetFieldText(field.name, value);
      } catch (const std::exception& e) {
        io_.err << e.what() << '\n';
      }
      return form_.FieldText(kApiField) != api;
    }
    io_.err << "Unknown field " << option << " (try show)\n";
    return false;
  }

  TzorConsoleIO io_;
  const std::string settings_path_;
  TzorPineconeForm form_;
};

}  // namespace

int RunConsole(const std::vector<std::string>& args, TzorConsoleIO io) {
  TzorClientOptions options;
  try {
    options = ParseClientOptions(args);
  } catch (const std::exception& e) {
    io.err << e.what() << " (try --help)\n";
    return 2;
  }
  const std::string settings_path = options.settings_path.empty() ? SettingsFilePath() : options.settings_path;
  if (options.help) {
    io.out << ClientUsage("zorpinecone-cli", settings_path);
    return 0;
  }

  const TzorIniFile settings(settings_path);
  Console console(io, settings_path);
  std::unique_ptr<TzorLocalPinecone> local;
  try {
    console.Form().LoadSettings(settings);
    if (options.local) {
      local = std::make_unique<TzorLocalPinecone>();
      local->Attach(console.Form());
    }
    for (const auto& [field, text] : options.fields) console.Form().SetFieldText(field, text);
  } catch (const std::exception& e) {
    io.err << e.what() << '\n';
    return 1;
  }

  int code = 0;
  if (options.commands.empty()) {
    console.Interactive();
  } else {
    for (const auto& command : options.commands) {
      if (!console.Run(command)) {
        code = 1;
        break;
      }
    }
  }
  try {
    console.Form().SaveSettings(settings);
  } catch (const std::exception& e) {
    io.err << e.what() << '\n';
    code = 1;
  }
  return code;
}

}  // namespace zor
