// Requests of any shape against the local service: the method, Host, target
// and body come from the input, separated by line feeds. The service holds
// an index so that the data endpoint is reached too; Host "api.pinecone.io"
// reaches the current API's control plane.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/pinecone-local/local_routes.h"

namespace {

std::string_view NextLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace local = zor::pinecone_local;
  static local::Service* service = [] {
    auto* s = new local::Service("k");
    s->Handle({"POST", "controller.e.pinecone.io", "/databases", true, "k", R"({"name":"idx","dimension":2})", ""});
    s->Handle({"POST", "idx-p.svc.e.pinecone.io", "/vectors/upsert", true, "k",
               R"({"vectors":[{"id":"a","values":[1,2],"metadata":{"g":"x","n":[1,2]}}]})", ""});
    return s;
  }();
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  local::Request request;
  request.method = std::string(NextLine(rest));
  request.host = std::string(NextLine(rest));
  request.target = std::string(NextLine(rest));
  request.has_api_key = true;
  request.api_key = "k";
  request.body = std::string(rest);
  // Requests to the current API's control plane carry its version line.
  if (request.host.starts_with("api.")) request.api_version = "2026-04";
  // Requests that would change the shared index are answered by a copy, so
  // every input meets the same data.
  local::Service copy = *service;
  const local::Reply reply = copy.Handle(request);
  if (reply.status < 200 || reply.status > 599) __builtin_trap();
  return 0;
}
