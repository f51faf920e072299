#include "app/settings_location.h"

#include "base/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace zor {

namespace {
constexpr const char* kFileName = "zorpinecone.ini";

std::string UserConfigFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/zor";
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/zor";
  return "/tmp/zor";
}
}  // namespace

std::string SettingsFilePath() {
  const std::string beside = ProgramDirectory() + kFileName;
  const bool exists = ::access(beside.c_str(), F_OK) == 0;
  if (exists ? ::access(beside.c_str(), W_OK) == 0 : ::access(ProgramDirectory().c_str(), W_OK) == 0) {
    return beside;
  }
  const std::string folder = UserConfigFolder();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder + "/" + kFileName;
}

}  // namespace zor
