#pragma once
// Where the client keeps its settings file.
#include <string>

namespace zor {

// The file beside the program ("<program folder>/zorpinecone.ini") when that
// folder can be written or the file already can; otherwise the same name in
// the user's configuration folder ($XDG_CONFIG_HOME/zor, or ~/.config/zor),
// which is created when missing.
std::string SettingsFilePath();

}  // namespace zor
