#include "server/mime_types.h"

#include <sstream>

#include "base/files.h"

namespace zor {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

TzorMimeTable::TzorMimeTable()
    : FTypes{{"html", "text/html"},        {"htm", "text/html"},          {"css", "text/css"},
             {"js", "text/javascript"},    {"mjs", "text/javascript"},    {"json", "application/json"},
             {"txt", "text/plain"},        {"xml", "application/xml"},    {"svg", "image/svg+xml"},
             {"png", "image/png"},         {"jpg", "image/jpeg"},         {"jpeg", "image/jpeg"},
             {"gif", "image/gif"},         {"webp", "image/webp"},        {"ico", "image/vnd.microsoft.icon"},
             {"woff", "font/woff"},        {"woff2", "font/woff2"},       {"ttf", "font/ttf"},
             {"pdf", "application/pdf"},   {"zip", "application/zip"},    {"wasm", "application/wasm"},
             {"mp4", "video/mp4"},         {"webm", "video/webm"},        {"mp3", "audio/mpeg"},
             {"csv", "text/csv"},          {"md", "text/markdown"}} {}

void TzorMimeTable::AddFromText(std::string_view text) {
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string type, extension;
    if (!(words >> type) || type.find('/') == std::string::npos) continue;
    while (words >> extension) FTypes[Lower(extension)] = type;
  }
}

std::string TzorMimeTable::TypeOfFile(std::string_view fileName) const {
  // The extension: after the last "." of the last part of the path.
  for (size_t i = fileName.size(); i-- > 0 && fileName[i] != '/' && fileName[i] != '\\';) {
    if (fileName[i] != '.') continue;
    const auto found = FTypes.find(Lower(fileName.substr(i + 1)));
    if (found != FTypes.end()) return found->second;
    break;
  }
  return "application/octet-stream";
}

const TzorMimeTable& DefaultMimeTable() {
  static const TzorMimeTable table = [] {
    TzorMimeTable t;
    std::string text;
    if (ReadFileBytes("/etc/mime.types", text)) t.AddFromText(text);
    return t;
  }();
  return table;
}

}  // namespace zor
