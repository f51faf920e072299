#pragma once
// The parts of a Pinecone request that need no network: endpoint URLs, the
// header lines of each verb and the fetch query.
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// Public domain of the service; both endpoint host names end with it.
inline constexpr const char* kPineconeServiceDomain = "pinecone.io";

// "https://controller.<environment>.pinecone.io"; nothing validated or encoded.
std::string PineconeControllerURL(const std::string& environment);
// "https://<index>-<project>.svc.<environment>.pinecone.io".
std::string PineconeIndexURL(const std::string& index_name, const std::string& project_id,
                             const std::string& environment);

enum class TzorPineconeVerb { Get, Post, Delete, Patch };

// The extra header lines of a request, in the order and letter case the
// service gets them.
std::vector<std::string> PineconeHeaderLines(TzorPineconeVerb verb, const std::string& api_key);

// Percent-encoding of a query parameter value: existing "%XX" escapes and
// printable ASCII outside a small unsafe set pass; everything else becomes
// "%XX" per UTF-8 byte; finally "/" and ":" are encoded too.
std::string EncodeParamValue(std::string_view value);

// "?ids=a&ids=b&namespace=ns" (empty when there are no ids and no namespace).
std::string PineconeFetchQuery(const std::vector<std::string>& ids, const std::string& name_space);

}  // namespace zor
