#include "pinecone/pinecone_current_requests.h"

namespace zor {

namespace {

void AddParameter(std::string& query, const char* name, const std::string& value) {
  if (value.empty()) return;
  query += query.empty() ? "?" : "&";
  query += name;
  query += '=';
  query += EncodeParamValue(value);
}

}  // namespace

std::string PineconeHostURL(const std::string& host) {
  if (host.starts_with("https://") || host.starts_with("http://")) return host;
  return "https://" + host;
}

std::vector<std::string> PineconeCurrentHeaderLines(TzorPineconeVerb verb, const std::string& api_key) {
  std::vector<std::string> lines{"Api-Key: " + api_key, std::string("X-Pinecone-API-Version: ") + kPineconeApiVersion,
                                 "accept: application/json"};
  if (verb == TzorPineconeVerb::Post || verb == TzorPineconeVerb::Patch) {
    lines.emplace_back("content-type: application/json");
  }
  return lines;
}

std::string PineconeListQuery(const std::string& prefix, int64_t limit, const std::string& pagination_token,
                              const std::string& name_space) {
  std::string query;
  AddParameter(query, "prefix", prefix);
  AddParameter(query, "limit", limit > 0 ? std::to_string(limit) : std::string());
  AddParameter(query, "paginationToken", pagination_token);
  AddParameter(query, "namespace", name_space);
  return query;
}

std::string PineconeNamespacePath(const std::string& name_space) { return "/namespaces/" + EncodeParamValue(name_space); }

}  // namespace zor
