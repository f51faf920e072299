#pragma once
// Finding a bearer token in the header lines of a request.
#include <string>
#include <string_view>
#include <vector>

namespace zor {

// The token of the first line whose name is "Authorization" (any case) and
// whose value uses the "Bearer" scheme (any case). Lines are HTTP/1.1 header
// lines ("Name: value") or HTTP/2 header list entries ("name=value").
// Empty when there is none.
std::string FindBearerToken(const std::vector<std::string>& aHeaders);

}  // namespace zor
