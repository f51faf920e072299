#include "tools/pinecone-local/local_routes.h"

#include "base/url.h"
#include "tools/pinecone-local/request_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace zor::pinecone_local {
namespace json = boost::json;

namespace {

constexpr std::string_view kDomainSuffix = ".pinecone.io";
constexpr int64_t kMaxTopK = 10000;

void AppendJson(std::string& out, const json::value& value) {
  switch (value.kind()) {
    case json::kind::double_: {
      const double d = value.get_double();
      if (!std::isfinite(d)) {
        out += "null";
        return;
      }
      char buffer[32];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
      out.append(buffer, result.ptr);
      return;
    }
    case json::kind::array: {
      out += '[';
      bool first = true;
      for (const json::value& item : value.get_array()) {
        if (!first) out += ',';
        first = false;
        AppendJson(out, item);
      }
      out += ']';
      return;
    }
    case json::kind::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : value.get_object()) {
        if (!first) out += ',';
        first = false;
        out += json::serialize(json::string_view(key));
        out += ':';
        AppendJson(out, item);
      }
      out += '}';
      return;
    }
    default:
      out += json::serialize(value);
  }
}

// --- rendering answers --------------------------------------------------------

json::array NumberArray(const std::vector<double>& values) { return json::array(values.begin(), values.end()); }

json::object SparseJson(const SparseValues& sparse) {
  return {{"indices", json::array(sparse.indices.begin(), sparse.indices.end())}, {"values", NumberArray(sparse.values)}};
}

json::object VectorJson(const std::string& id, const StoredVector& vector) {
  json::object out{{"id", id}, {"values", NumberArray(vector.values)}};
  if (vector.sparse) out["sparseValues"] = SparseJson(*vector.sparse);
  if (!vector.metadata.empty()) out["metadata"] = vector.metadata;
  return out;
}

json::object DescribeIndex(const Index& index, const std::string& host) {
  const IndexConfig& c = index.config;
  json::object database{{"name", c.name},       {"metric", MetricName(c.metric)}, {"dimension", c.dimension},
                        {"replicas", c.replicas}, {"shards", 1},                  {"pods", c.pods},
                        {"pod_type", c.pod_type}};
  if (c.metadata_config) database["metadata_config"] = *c.metadata_config;
  if (!c.source_collection.empty()) database["source_collection"] = c.source_collection;
  json::object status{{"waiting", json::array{}}, {"crashed", json::array{}}, {"host", host},
                      {"port", 433},               {"state", "Ready"},         {"ready", true}};
  return {{"database", std::move(database)}, {"status", std::move(status)}};
}

// --- addressing ------------------------------------------------------------------

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

struct Address {
  bool controller = false;
  bool current = false;  // the current API's global control plane
  std::string environment;
  std::string index_label;  // "<index>-<project>" of a data host
};

std::optional<Address> ParseHost(std::string host) {
  host = Lower(std::move(host));
  if (const size_t colon = host.rfind(':'); colon != std::string::npos) host.resize(colon);
  if (host.size() <= kDomainSuffix.size() || !host.ends_with(kDomainSuffix)) return std::nullopt;
  host.resize(host.size() - kDomainSuffix.size());
  Address address;
  if (host == "api") {
    address.controller = address.current = true;
    return address;
  }
  constexpr std::string_view kController = "controller.";
  if (host.starts_with(kController)) {
    address.controller = true;
    address.environment = host.substr(kController.size());
    if (address.environment.empty()) return std::nullopt;
    return address;
  }
  const size_t svc = host.find(".svc.");
  if (svc == std::string::npos || svc == 0) return std::nullopt;
  address.index_label = host.substr(0, svc);
  address.environment = host.substr(svc + 5);
  if (address.environment.empty()) return std::nullopt;
  return address;
}

// The index whose name, a "-" and a project id make the label; the longest
// name wins when names share a prefix.
Index* IndexOfLabel(std::map<std::string, Index>& indexes, const std::string& label) {
  Index* found = nullptr;
  for (auto& [name, index] : indexes) {
    if (label.size() > name.size() + 1 && label.starts_with(name) && label[name.size()] == '-' &&
        (!found || name.size() > found->config.name.size())) {
      found = &index;
    }
  }
  return found;
}

}  // namespace

namespace {

// gRPC-style codes the service puts into its error bodies.
int ErrorCode(int status) {
  switch (status) {
    case 400: return 3;
    case 401: return 16;
    case 404: return 5;
    case 409: return 6;
    default: return 2;
  }
}

}  // namespace

Reply ErrorReply(int status, const std::string& message) {
  return {status, JsonText(json::object{{"code", ErrorCode(status)}, {"message", message}, {"details", json::array{}}})};
}

Reply JsonReply(const json::value& value, int status) { return {status, JsonText(value)}; }

std::string JsonText(const json::value& value) {
  std::string out;
  AppendJson(out, value);
  return out;
}

Service::Service(std::string api_key, std::string project_id)
    : api_key_(std::move(api_key)), project_id_(std::move(project_id)) {}

Reply Service::Handle(const Request& request) {
  const auto address = ParseHost(request.host);
  const bool current = address && address->current;
  auto refuse = [current](int status, const std::string& message) {
    return current ? CurrentErrorReply(status, message) : ErrorReply(status, message);
  };
  if (!request.has_api_key || request.api_key != api_key_) {
    return refuse(401, "Invalid API Key. Please pass a valid key in the Api-Key header");
  }
  const size_t question = request.target.find('?');
  const std::string path = PercentDecode(std::string_view(request.target).substr(0, question), false);
  const std::string query = question == std::string::npos ? std::string{} : request.target.substr(question + 1);
  try {
    if (!address) return ErrorReply(404, "Unknown host '" + request.host + "'");
    if (current) return CurrentController(request, path);
    if (address->controller) return Controller(request, path, address->environment);
    Index* index = IndexOfLabel(store_.Indexes(), address->index_label);
    if (!index) return ErrorReply(404, "No index serves the host '" + request.host + "'");
    return DataPlane(request, *index, path, query);
  } catch (const ServiceError& error) {
    return refuse(error.status, error.message);
  }
}

Reply Service::Controller(const Request& request, const std::string& path, const std::string& environment) {
  const std::string& method = request.method;
  auto names_of = [](const auto& map) {
    json::array names;
    for (const auto& entry : map) names.emplace_back(entry.first);
    return names;
  };
  constexpr std::string_view kDatabases = "/databases";
  constexpr std::string_view kCollections = "/collections";
  if (path == kDatabases) {
    if (method == "GET") return JsonReply(names_of(store_.Indexes()));
    if (method != "POST") return ErrorReply(405, "Method not allowed");
    const json::object body = ParseObject(request.body);
    IndexConfig config;
    config.name = StringMember(body, "name", true);
    CheckName(config.name, "Index");
    config.dimension = IntegerMember(body, "dimension").value_or(0);
    if (config.dimension < 1 || config.dimension > kMaxDimension) {
      throw ServiceError{400, "Dimension must be between 1 and " + std::to_string(kMaxDimension)};
    }
    if (const std::string metric = StringMember(body, "metric"); !metric.empty()) {
      const auto parsed = MetricFromName(metric);
      if (!parsed) throw ServiceError{400, "Metric '" + metric + "' is not one of cosine, euclidean, dotproduct"};
      config.metric = *parsed;
    }
    config.pods = IntegerMember(body, "pods").value_or(1);
    config.replicas = IntegerMember(body, "replicas").value_or(1);
    if (config.pods < 1 || config.replicas < 1) throw ServiceError{400, "Pods and replicas must be at least 1"};
    if (const std::string pod_type = StringMember(body, "pod_type"); !pod_type.empty()) config.pod_type = pod_type;
    if (const json::object* metadata_config = ObjectMember(body, "metadata_config")) config.metadata_config = *metadata_config;
    config.source_collection = StringMember(body, "source_collection");
    config.environment = environment;
    store_.CreateIndex(std::move(config));
    return {201, ""};
  }
  if (path == kCollections) {
    if (method == "GET") return JsonReply(names_of(store_.Collections()));
    if (method != "POST") return ErrorReply(405, "Method not allowed");
    const json::object body = ParseObject(request.body);
    const std::string name = StringMember(body, "name", true);
    CheckName(name, "Collection");
    store_.CreateCollection(name, StringMember(body, "source", true));
    return {201, ""};
  }
  if (path.starts_with(std::string(kDatabases) + "/")) {
    const std::string name = path.substr(kDatabases.size() + 1);
    Index& index = store_.FindIndex(name);
    if (method == "GET") {
      return JsonReply(DescribeIndex(index, name + "-" + project_id_ + ".svc." + environment + ".pinecone.io"));
    }
    if (method == "DELETE") {
      store_.Indexes().erase(name);
      return {202, ""};
    }
    if (method != "PATCH") return ErrorReply(405, "Method not allowed");
    const json::object body = ParseObject(request.body);
    const auto replicas = IntegerMember(body, "replicas");
    if (replicas && *replicas < 1) throw ServiceError{400, "Replicas must be at least 1"};
    const std::string pod_type = StringMember(body, "pod_type");
    if (replicas) index.config.replicas = *replicas;
    if (!pod_type.empty()) index.config.pod_type = pod_type;
    return {202, ""};
  }
  if (path.starts_with(std::string(kCollections) + "/")) {
    const std::string name = path.substr(kCollections.size() + 1);
    Collection& collection = store_.FindCollection(name);
    if (method == "GET") {
      const size_t count = VectorCount(collection.namespaces);
      return JsonReply(json::object{{"name", collection.name},
                                    {"size", count * static_cast<size_t>(collection.dimension) * sizeof(float)},
                                    {"status", "Ready"},
                                    {"dimension", collection.dimension},
                                    {"vector_count", count},
                                    {"environment", environment}});
    }
    if (method != "DELETE") return ErrorReply(405, "Method not allowed");
    store_.Collections().erase(name);
    return {202, ""};
  }
  return ErrorReply(404, "Not found: " + path);
}

Reply Service::DataPlane(const Request& request, Index& index, const std::string& path, const std::string& query) {
  const bool current = !request.api_version.empty();
  const bool post = request.method == "POST";
  if (path == "/describe_index_stats" && (post || request.method == "GET")) {
    std::optional<json::object> filter;
    if (post && !request.body.empty()) {
      const json::object body = ParseObject(request.body);
      if (const json::object* f = ObjectMember(body, "filter")) filter = *f;
    }
    json::object spaces;
    size_t total = 0;
    for (const auto& [name, space] : index.namespaces) {
      const size_t count = CountMatching(space, filter ? &*filter : nullptr);
      total += count;
      if (count || !filter) spaces[ShownNamespace(name, current)] = json::object{{"vectorCount", count}};
    }
    return JsonReply(json::object{{"namespaces", std::move(spaces)},
                                  {"dimension", index.config.dimension},
                                  {"indexFullness", 0.0},
                                  {"totalVectorCount", total}});
  }
  if (path == "/vectors/fetch" && request.method == "GET") {
    std::vector<std::string> ids;
    std::string name_space;
    for (auto& [key, value] : QueryParameters(query)) {
      if (key == "ids") ids.push_back(std::move(value));
      else if (key == "namespace") name_space = StoredNamespace(std::move(value));
    }
    if (ids.empty()) throw ServiceError{400, "No IDs provided for fetch query"};
    json::object vectors;
    if (auto space = index.namespaces.find(name_space); space != index.namespaces.end()) {
      for (const std::string& id : ids) {
        if (auto found = space->second.find(id); found != space->second.end()) vectors[id] = VectorJson(id, found->second);
      }
    }
    return JsonReply(json::object{{"vectors", std::move(vectors)}, {"namespace", ShownNamespace(name_space, current)}});
  }
  if (auto listing = Listings(request, index, path, query)) return std::move(*listing);
  if (!post) return ErrorReply(404, "Not found: " + request.method + " " + path);

  const json::object body = ParseObject(request.body);
  const std::string name_space = StoredNamespace(StringMember(body, "namespace"));
  if (path == "/query") {
    const auto top_k = IntegerMember(body, "topK");
    if (!top_k || *top_k < 1 || *top_k > kMaxTopK) {
      throw ServiceError{400, "topK must be between 1 and " + std::to_string(kMaxTopK)};
    }
    auto vector = NumbersMember(body, "vector");
    const std::string id = StringMember(body, "id");
    const auto sparse = SparseMember(body, "sparseVector");
    if (sparse && index.config.metric != Metric::dotproduct) {
      throw ServiceError{400, "Sparse vectors are only supported by indexes with the dotproduct metric"};
    }
    if (vector && !id.empty()) throw ServiceError{400, "Query by vector or by id, not both"};
    const json::object* filter = ObjectMember(body, "filter");
    json::array matches;
    auto space = index.namespaces.find(name_space);
    const Namespace empty;
    const Namespace& vectors = space == index.namespaces.end() ? empty : space->second;
    if (!id.empty()) {
      if (auto found = vectors.find(id); found != vectors.end()) vector = found->second.values;
    } else if (vector) {
      CheckDimension(index, *vector);
    } else if (!sparse) {
      throw ServiceError{400, "A query needs a vector, a sparse vector or an id"};
    }
    if (vector || sparse) {
      const std::vector<double> dense = vector ? *vector : std::vector<double>{};
      const bool values = BoolMember(body, "includeValues");
      const bool metadata = BoolMember(body, "includeMetadata");
      for (const Match& match : TopK(vectors, index.config.metric, dense, sparse ? &*sparse : nullptr, filter,
                                     static_cast<size_t>(*top_k))) {
        json::object out{{"id", *match.id}, {"score", match.score},
                         {"values", values ? NumberArray(match.vector->values) : json::array{}}};
        if (values && match.vector->sparse) out["sparseValues"] = SparseJson(*match.vector->sparse);
        if (metadata && !match.vector->metadata.empty()) out["metadata"] = match.vector->metadata;
        matches.push_back(std::move(out));
      }
    }
    return JsonReply(json::object{{"results", json::array{}}, {"matches", std::move(matches)}, {"namespace", ShownNamespace(name_space, current)}});
  }
  if (path == "/vectors/upsert") {
    const json::array* items = ArrayMember(body, "vectors");
    if (!items) throw ServiceError{400, "Missing required field 'vectors'"};
    std::vector<std::pair<std::string, StoredVector>> accepted;
    for (const json::value& item : *items) {
      if (!item.is_object()) throw ServiceError{400, "Each vector must be an object"};
      const json::object& v = item.get_object();
      std::string id = StringMember(v, "id", true);
      if (id.empty()) throw ServiceError{400, "Vector id must not be empty"};
      StoredVector stored;
      stored.values = NumbersMember(v, "values").value_or(std::vector<double>{});
      CheckDimension(index, stored.values);
      stored.sparse = SparseMember(v, "sparseValues");
      if (const json::object* metadata = ObjectMember(v, "metadata")) stored.metadata = *metadata;
      stored.norm = Norm(stored.values);
      accepted.emplace_back(std::move(id), std::move(stored));
    }
    Namespace& space = index.namespaces[name_space];
    for (auto& [id, stored] : accepted) space[id] = std::move(stored);
    if (space.empty()) index.namespaces.erase(name_space);
    return JsonReply(json::object{{"upsertedCount", accepted.size()}});
  }
  if (path == "/vectors/update") {
    const std::string id = StringMember(body, "id", true);
    auto space = index.namespaces.find(name_space);
    if (space == index.namespaces.end() || !space->second.count(id)) {
      throw ServiceError{404, "Vector '" + id + "' not found in namespace '" + name_space + "'"};
    }
    const auto values = NumbersMember(body, "values");
    if (values) CheckDimension(index, *values);
    auto sparse = SparseMember(body, "sparseValues");
    const json::object* metadata = ObjectMember(body, "setMetadata");
    StoredVector& stored = space->second[id];
    if (values) {
      stored.values = *values;
      stored.norm = Norm(stored.values);
    }
    if (sparse) stored.sparse = std::move(sparse);
    if (metadata) {
      for (const auto& [key, value] : *metadata) stored.metadata[key] = value;
    }
    return JsonReply(json::object{});
  }
  if (path == "/vectors/delete") {
    std::vector<std::string> ids;
    if (const json::array* list = ArrayMember(body, "ids")) {
      for (const json::value& id : *list) {
        if (!id.is_string()) throw ServiceError{400, "Field 'ids' must hold strings only"};
        ids.emplace_back(id.get_string());
      }
    }
    const bool all = BoolMember(body, "deleteAll");
    const json::object* filter = ObjectMember(body, "filter");
    if (ids.empty() && !all && !filter) throw ServiceError{400, "Delete needs ids, deleteAll or a filter"};
    auto space = index.namespaces.find(name_space);
    if (space != index.namespaces.end()) {
      Namespace& vectors = space->second;
      if (all) {
        vectors.clear();
      } else if (!ids.empty()) {
        for (const std::string& id : ids) vectors.erase(id);
      } else {
        std::erase_if(vectors, [&](const auto& entry) { return MatchesFilter(entry.second.metadata, *filter); });
      }
      if (vectors.empty()) index.namespaces.erase(space);
    }
    return JsonReply(json::object{});
  }
  return ErrorReply(404, "Not found: POST " + path);
}

}  // namespace zor::pinecone_local
