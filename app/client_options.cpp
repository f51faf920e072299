#include "app/client_options.h"

#include "app/form_fields.h"
#include "app/pinecone_form.h"
#include "base/exceptions.h"

namespace zor {

namespace {

const TzorFormField* FieldByOption(std::string_view option) {
  for (const auto& field : FormFields()) {
    if (FieldOptionName(field.name) == option) return &field;
  }
  return nullptr;
}

std::string ScopeNote(TzorApiScope scope) {
  switch (scope) {
    case TzorApiScope::Legacy: return std::string(" [") + kLegacyApi + " API]";
    case TzorApiScope::Current: return std::string(" [") + kCurrentApi + " API]";
    case TzorApiScope::Both: break;
  }
  return {};
}

}  // namespace

TzorClientOptions ParseClientOptions(const std::vector<std::string>& args) {
  TzorClientOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--local") {
      options.local = true;
    } else if (arg.starts_with("--")) {
      std::string name = arg.substr(2), value;
      const size_t eq = name.find('=');
      const bool inline_value = eq != std::string::npos;
      if (inline_value) {
        value = name.substr(eq + 1);
        name.resize(eq);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        throw Exception("Option " + arg + " needs a value");
      }
      if (name == "settings") {
        options.settings_path = value;
      } else if (const TzorFormField* field = FieldByOption(name)) {
        options.fields.emplace_back(field->name, value);
      } else {
        throw Exception("Unknown option --" + name);
      }
    } else if (TzorPineconeForm::FindCommand(arg)) {
      options.commands.push_back(arg);
    } else {
      throw Exception("Unknown command " + arg);
    }
  }
  return options;
}

std::string ClientUsage(const std::string& program, const std::string& settings_path) {
  std::string text = "Usage: " + program + " [options] [command...]\n\n";
  text += "Options:\n";
  text += "  --local              run against a Pinecone-compatible service started in-process\n";
  text += "  --settings FILE      settings file to read at start and write at exit\n";
  text += "                       (default: " + settings_path + ")\n";
  for (const auto& field : FormFields()) {
    std::string line = "  --" + FieldOptionName(field.name) + " TEXT";
    line.resize(std::max<size_t>(line.size() + 1, 38), ' ');
    text += line + field.label;
    if (*field.initial) text += std::string(" (\"") + field.initial + "\")";
    text += ScopeNote(field.scope) + '\n';
  }
  text += "\nCommands:\n";
  for (const auto& command : TzorPineconeForm::Commands()) {
    text += "  " + CommandOptionName(command.caption) + ScopeNote(command.Scope()) + '\n';
  }
  text += std::string("\n--api ") + kLegacyApi + " (the default) speaks the service's legacy API, --api " + kCurrentApi +
          " its\ncurrent one, where indexes live in a cloud and region instead of an environment.\n";
  text += "\nThe settings file keeps the API key, environment, index name and project id,\n"
          "and the API, cloud and region in a section of their own.\n"
          "It lives beside the program when that folder can be written, otherwise in\n"
          "$XDG_CONFIG_HOME/zor (or ~/.config/zor).\n";
  return text;
}

}  // namespace zor
