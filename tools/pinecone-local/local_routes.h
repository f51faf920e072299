#pragma once
// Request handling of the local service, without IO: one HTTP request in
// (method, Host, target, key, body), one answer out.
#include <optional>
#include <string>

#include "tools/pinecone-local/local_store.h"

namespace zor::pinecone_local {

struct Request {
  std::string method;  // "GET", "POST", ...
  std::string host;    // the Host header, port allowed
  std::string target;  // path and query
  bool has_api_key = false;
  std::string api_key;
  std::string body;
  std::string api_version;  // "X-Pinecone-API-Version": sent by clients of the current API
};

class Service {
 public:
  // `project_id` is the one named in the index host names the service reports.
  explicit Service(std::string api_key, std::string project_id = "local");

  // Routes by host: "controller.<env>.pinecone.io" (legacy control plane),
  // "api.pinecone.io" (current control plane) or
  // "<index>-<project>.svc.<env>.pinecone.io" (the data plane of both).
  Reply Handle(const Request& request);

  Store& Data() { return store_; }

 private:
  Reply Controller(const Request& request, const std::string& path, const std::string& environment);
  Reply DataPlane(const Request& request, Index& index, const std::string& path, const std::string& query);
  // The current API (current_routes.cpp): its control plane, and the data
  // plane's listings (ids, namespaces), which the legacy API has not.
  Reply CurrentController(const Request& request, const std::string& path);
  std::optional<Reply> Listings(const Request& request, Index& index, const std::string& path, const std::string& query);
  std::string HostOf(const IndexConfig& config) const;

  std::string api_key_;
  std::string project_id_;
  Store store_;
};

// Error answers: the legacy API's and the data plane's {"code", "message",
// "details"}, and the current control plane's {"error": {"code", "message"},
// "status"}.
Reply ErrorReply(int status, const std::string& message);
Reply CurrentErrorReply(int status, const std::string& message);
Reply JsonReply(const boost::json::value& value, int status = 200);

// JSON text of a value with doubles in their shortest round-trip form
// ("0.1", not "1E-1").
std::string JsonText(const boost::json::value& value);

}  // namespace zor::pinecone_local
