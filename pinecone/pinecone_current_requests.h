#pragma once
// The parts of a request to the service's current, versioned API that need no
// network: the API version, the control-plane URL, index host URLs, header
// lines and query strings.
//
// Followed: the service's public API reference, version 2026-04
// (docs.pinecone.io/reference/api/2026-04, control plane and data plane).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pinecone/pinecone_requests.h"

namespace zor {

// Sent as "X-Pinecone-API-Version" on every request; the service answers an
// unversioned request with its oldest supported version, so it is never left out.
inline constexpr const char* kPineconeApiVersion = "2026-04";

// Control plane of every project, whatever its cloud and region.
inline constexpr const char* kPineconeCurrentControllerURL = "https://api.pinecone.io";

// The URL of an index host as describe-index reports it ("name-abc.svc.env.pinecone.io");
// a host that already names its scheme is kept as it is.
std::string PineconeHostURL(const std::string& host);

// "Api-Key", the version line, "accept: application/json" and, for requests
// with a body, "content-type: application/json". The current API answers
// JSON (or nothing) to every verb.
std::vector<std::string> PineconeCurrentHeaderLines(TzorPineconeVerb verb, const std::string& api_key);

// "?prefix=a&limit=10&paginationToken=t&namespace=ns"; parameters that are
// empty (or 0) are left out.
std::string PineconeListQuery(const std::string& prefix, int64_t limit, const std::string& pagination_token,
                              const std::string& name_space);

// "/namespaces/<name>" with the name percent-encoded like a query value.
std::string PineconeNamespacePath(const std::string& name_space);

}  // namespace zor
