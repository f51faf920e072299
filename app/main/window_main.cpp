// The desktop client: one window over the Pinecone component.
#include "app/client_options.h"
#include "app/ini_file.h"
#include "app/local_service.h"
#include "app/settings_location.h"
#include "app/window/main_window.h"
#include "base/exceptions.h"

#include <QApplication>

#include <iostream>
#include <memory>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  zor::TzorClientOptions options;
  try {
    options = zor::ParseClientOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.commands.empty()) throw zor::Exception("The window takes no commands; use zorpinecone-cli");
  } catch (const std::exception& e) {
    std::cerr << e.what() << " (try --help)\n";
    return 2;
  }
  const std::string settings_path = options.settings_path.empty() ? zor::SettingsFilePath() : options.settings_path;
  if (options.help) {
    std::cout << zor::ClientUsage("zorpinecone", settings_path);
    return 0;
  }

  const zor::TzorIniFile settings(settings_path);
  zor::TfrmOpenAI window(settings);
  std::unique_ptr<zor::TzorLocalPinecone> local;
  if (options.local) {
    local = std::make_unique<zor::TzorLocalPinecone>();
    local->Attach(window.Form());
  }
  for (const auto& [field, text] : options.fields) window.Form().SetFieldText(field, text);
  window.show();
  return application.exec();
}
