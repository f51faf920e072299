#include "pinecone/pinecone_requests.h"

#include <cstring>

#include "base/format.h"
#include "base/markup.h"
#include "base/text.h"

namespace zor {
namespace {

constexpr const char* kControllerTemplate = "https://controller.%s.pinecone.io";
constexpr const char* kIndexTemplate = "https://%s-%s.svc.%s.pinecone.io";

bool PassesUnencoded(unsigned char c) {
  static constexpr const char* kUnsafe = "*<>#%\"{}|\\^[]`+";
  return c >= 0x21 && c <= 0x7F && std::strchr(kUnsafe, c) == nullptr;
}

}  // namespace

std::string PineconeControllerURL(const std::string& environment) {
  return Format(kControllerTemplate, environment.c_str());
}

std::string PineconeIndexURL(const std::string& index_name, const std::string& project_id,
                             const std::string& environment) {
  return Format(kIndexTemplate, index_name.c_str(), project_id.c_str(), environment.c_str());
}

std::vector<std::string> PineconeHeaderLines(TzorPineconeVerb verb, const std::string& api_key) {
  std::vector<std::string> lines{"Api-Key: " + api_key};
  const bool reads_json = verb == TzorPineconeVerb::Get || verb == TzorPineconeVerb::Post;
  lines.emplace_back(reads_json ? "accept: application/json" : "accept: text/plain");
  if (verb == TzorPineconeVerb::Post || verb == TzorPineconeVerb::Patch) {
    lines.emplace_back("content-type: application/json");
  }
  return lines;
}

std::string EncodeParamValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c == '%' && i + 2 < value.size() && HexDigitValue(value[i + 1]) >= 0 && HexDigitValue(value[i + 2]) >= 0) {
      encoded.append(value.substr(i, 3));
      i += 2;
    } else if (PassesUnencoded(c)) {
      encoded += static_cast<char>(c);
    } else {
      // Text is UTF-8 already, so each byte of a character is one escape.
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return ReplaceText(ReplaceText(encoded, "/", "%2F"), ":", "%3A");
}

std::string PineconeFetchQuery(const std::vector<std::string>& ids, const std::string& name_space) {
  std::string query;
  for (const std::string& id : ids) {
    query += query.empty() ? "?" : "&";
    query += "ids=" + EncodeParamValue(id);
  }
  if (!name_space.empty()) {
    query += query.empty() ? "?" : "&";
    query += "namespace=" + EncodeParamValue(name_space);
  }
  return query;
}

}  // namespace zor
