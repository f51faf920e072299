// The current API of the local service: the global control plane at
// "api.pinecone.io" and the data plane's listings. Indexes and collections
// are the same ones the legacy API sees.
#include <algorithm>
#include <charconv>

#include "tools/pinecone-local/local_routes.h"
#include "tools/pinecone-local/request_fields.h"

namespace zor::pinecone_local {
namespace json = boost::json;

namespace {

constexpr size_t kDefaultPageSize = 100;
constexpr int64_t kMaxPageSize = 1000;

const char* StatusCode(int status) {
  switch (status) {
    case 400: return "INVALID_ARGUMENT";
    case 401: return "UNAUTHENTICATED";
    case 403: return "FORBIDDEN";
    case 404: return "NOT_FOUND";
    case 405: return "METHOD_NOT_ALLOWED";
    case 409: return "ALREADY_EXISTS";
    case 412: return "FAILED_PRECONDITION";
    default: return "UNKNOWN";
  }
}

// "enabled"/"disabled", or absent.
std::optional<bool> ProtectionMember(const json::object& body) {
  const std::string value = StringMember(body, "deletion_protection");
  if (value.empty()) return std::nullopt;
  if (value != "enabled" && value != "disabled") {
    throw ServiceError{400, "deletion_protection must be 'enabled' or 'disabled'"};
  }
  return value == "enabled";
}

// Tags are strings; an empty value removes the tag.
void MergeTags(json::object& tags, const json::object& changes) {
  for (const auto& [key, value] : changes) {
    if (!value.is_string()) throw ServiceError{400, "Tag '" + std::string(key) + "' must be a string"};
    if (value.get_string().empty()) {
      tags.erase(key);
    } else {
      tags[key] = value;
    }
  }
}

int64_t CountMember(const json::object& object, std::string_view key) {
  const int64_t value = IntegerMember(object, key).value_or(1);
  if (value < 1) throw ServiceError{400, "Field '" + std::string(key) + "' must be at least 1"};
  return value;
}

void ReadSpec(const json::object& spec, IndexConfig& config) {
  const json::object* serverless = ObjectMember(spec, "serverless");
  const json::object* pod = ObjectMember(spec, "pod");
  if (!serverless == !pod) throw ServiceError{400, "The spec must hold either 'serverless' or 'pod'"};
  if (serverless) {
    config.serverless = true;
    config.cloud = StringMember(*serverless, "cloud", true);
    config.region = StringMember(*serverless, "region", true);
    if (config.cloud.empty() || config.region.empty()) throw ServiceError{400, "A serverless spec needs a cloud and a region"};
    config.environment = config.region + "-" + config.cloud;
    config.source_collection = StringMember(*serverless, "source_collection");
    return;
  }
  config.environment = StringMember(*pod, "environment", true);
  config.pod_type = StringMember(*pod, "pod_type", true);
  if (config.environment.empty() || config.pod_type.empty()) {
    throw ServiceError{400, "A pod spec needs an environment and a pod type"};
  }
  config.pods = CountMember(*pod, "pods");
  config.replicas = CountMember(*pod, "replicas");
  config.shards = CountMember(*pod, "shards");
  if (const json::object* metadata_config = ObjectMember(*pod, "metadata_config")) config.metadata_config = *metadata_config;
  config.source_collection = StringMember(*pod, "source_collection");
}

IndexConfig ReadCreateIndex(const json::object& body) {
  IndexConfig config;
  config.name = StringMember(body, "name", true);
  CheckName(config.name, "Index");
  const std::string vector_type = StringMember(body, "vector_type");
  if (!vector_type.empty() && vector_type != "dense" && vector_type != "sparse") {
    throw ServiceError{400, "vector_type must be 'dense' or 'sparse'"};
  }
  config.sparse = vector_type == "sparse";
  const std::string metric = StringMember(body, "metric");
  if (!metric.empty()) {
    const auto parsed = MetricFromName(metric);
    if (!parsed) throw ServiceError{400, "Metric '" + metric + "' is not one of cosine, euclidean, dotproduct"};
    config.metric = *parsed;
  } else if (config.sparse) {
    config.metric = Metric::dotproduct;
  }
  const auto dimension = IntegerMember(body, "dimension");
  if (config.sparse) {
    if (dimension) throw ServiceError{400, "Sparse indexes have no dimension"};
    if (config.metric != Metric::dotproduct) throw ServiceError{400, "Sparse indexes need the dotproduct metric"};
  } else {
    config.dimension = dimension.value_or(0);
    if (config.dimension < 1 || config.dimension > kMaxDimension) {
      throw ServiceError{400, "Dimension must be between 1 and " + std::to_string(kMaxDimension)};
    }
  }
  config.deletion_protection = ProtectionMember(body).value_or(false);
  if (const json::object* tags = ObjectMember(body, "tags")) MergeTags(config.tags, *tags);
  const json::object* spec = ObjectMember(body, "spec");
  if (!spec) throw ServiceError{400, "Missing required field 'spec'"};
  ReadSpec(*spec, config);
  return config;
}

json::object SpecJson(const IndexConfig& c) {
  if (c.serverless) {
    json::object serverless{{"cloud", c.cloud},
                            {"region", c.region},
                            {"read_capacity", json::object{{"mode", "OnDemand"}, {"status", {{"state", "Ready"}}}}}};
    if (!c.source_collection.empty()) serverless["source_collection"] = c.source_collection;
    return {{"serverless", std::move(serverless)}};
  }
  json::object pod{{"environment", c.environment}, {"replicas", c.replicas}, {"shards", c.shards},
                   {"pod_type", c.pod_type},       {"pods", c.pods}};
  if (c.metadata_config) pod["metadata_config"] = *c.metadata_config;
  if (!c.source_collection.empty()) pod["source_collection"] = c.source_collection;
  return {{"pod", std::move(pod)}};
}

json::object CollectionJson(const Collection& collection, const std::string& environment) {
  const size_t count = VectorCount(collection.namespaces);
  return {{"name", collection.name},
          {"size", count * static_cast<size_t>(collection.dimension) * sizeof(float)},
          {"status", "Ready"},
          {"dimension", collection.dimension},
          {"vector_count", count},
          {"environment", environment}};
}

// Page size of a listing: "limit" when given, else the default.
size_t PageSize(const std::string& limit) {
  if (limit.empty()) return kDefaultPageSize;
  int64_t value = 0;
  const auto result = std::from_chars(limit.data(), limit.data() + limit.size(), value);
  if (result.ec != std::errc() || result.ptr != limit.data() + limit.size() || value < 1 || value > kMaxPageSize) {
    throw ServiceError{400, "limit must be between 1 and " + std::to_string(kMaxPageSize)};
  }
  return static_cast<size_t>(value);
}

struct ListingQuery {
  std::string prefix;
  std::string token;  // the first name of the page
  std::string name_space;
  size_t limit = kDefaultPageSize;
};

ListingQuery ReadListingQuery(const std::string& query) {
  ListingQuery listing;
  for (auto& [key, value] : QueryParameters(query)) {
    if (key == "prefix") listing.prefix = std::move(value);
    else if (key == "paginationToken") listing.token = std::move(value);
    else if (key == "namespace") listing.name_space = StoredNamespace(std::move(value));
    else if (key == "limit") listing.limit = PageSize(value);
  }
  return listing;
}

// One page of the sorted names of `map` that begin with the prefix, starting
// at the token; the answer's "pagination" names the next page's first name.
template <class Map, class Render>
json::object Page(const Map& map, const ListingQuery& listing, const char* items_key, Render render) {
  json::array items;
  auto it = listing.token.empty() ? map.lower_bound(listing.prefix) : map.lower_bound(listing.token);
  for (; it != map.end() && it->first.starts_with(listing.prefix); ++it) {
    if (items.size() == listing.limit) break;
    items.push_back(render(*it));
  }
  json::object page{{items_key, std::move(items)}};
  if (it != map.end() && it->first.starts_with(listing.prefix)) page["pagination"] = json::object{{"next", it->first}};
  return page;
}

}  // namespace

Reply CurrentErrorReply(int status, const std::string& message) {
  return {status, JsonText(json::object{{"error", {{"code", StatusCode(status)}, {"message", message}}}, {"status", status}})};
}

std::string Service::HostOf(const IndexConfig& config) const {
  const std::string environment = config.environment.empty() ? "local" : config.environment;
  return config.name + "-" + project_id_ + ".svc." + environment + ".pinecone.io";
}

Reply Service::CurrentController(const Request& request, const std::string& path) {
  const std::string& method = request.method;
  auto model = [this](const Index& index) {
    const IndexConfig& c = index.config;
    json::object out{{"name", c.name}, {"metric", MetricName(c.metric)}, {"host", HostOf(c)},
                     {"deletion_protection", c.deletion_protection ? "enabled" : "disabled"}};
    if (!c.sparse) out["dimension"] = c.dimension;
    if (!c.tags.empty()) out["tags"] = c.tags;
    out["spec"] = SpecJson(c);
    out["status"] = {{"ready", true}, {"state", "Ready"}};
    out["vector_type"] = c.sparse ? "sparse" : "dense";
    return out;
  };
  constexpr std::string_view kIndexes = "/indexes";
  constexpr std::string_view kCollections = "/collections";
  if (path == kIndexes) {
    if (method == "GET") {
      json::array indexes;
      for (const auto& [name, index] : store_.Indexes()) indexes.push_back(model(index));
      return JsonReply(json::object{{"indexes", std::move(indexes)}});
    }
    if (method != "POST") return CurrentErrorReply(405, "Method not allowed");
    IndexConfig config = ReadCreateIndex(ParseObject(request.body));
    const std::string name = config.name;
    store_.CreateIndex(std::move(config));
    return JsonReply(model(store_.FindIndex(name)), 201);
  }
  if (path.starts_with(std::string(kIndexes) + "/")) {
    const std::string name = path.substr(kIndexes.size() + 1);
    Index& index = store_.FindIndex(name);
    if (method == "GET") return JsonReply(model(index));
    if (method == "DELETE") {
      if (index.config.deletion_protection) {
        throw ServiceError{403, "Deletion protection is enabled for this index. Disable deletion protection before retrying."};
      }
      store_.Indexes().erase(name);
      return {202, ""};
    }
    if (method != "PATCH") return CurrentErrorReply(405, "Method not allowed");
    const json::object body = ParseObject(request.body);
    IndexConfig changed = index.config;
    if (const json::object* spec = ObjectMember(body, "spec")) {
      if (const json::object* pod = ObjectMember(*spec, "pod")) {
        if (changed.serverless) throw ServiceError{400, "A serverless index has no pods to configure"};
        if (IntegerMember(*pod, "replicas")) changed.replicas = CountMember(*pod, "replicas");
        if (const std::string pod_type = StringMember(*pod, "pod_type"); !pod_type.empty()) changed.pod_type = pod_type;
      }
    }
    if (const auto protection = ProtectionMember(body)) changed.deletion_protection = *protection;
    if (const json::object* tags = ObjectMember(body, "tags")) MergeTags(changed.tags, *tags);
    index.config = std::move(changed);
    return JsonReply(model(index), 202);
  }
  if (path == kCollections) {
    if (method == "GET") {
      json::array collections;
      for (const auto& [name, collection] : store_.Collections()) {
        collections.push_back(CollectionJson(collection, store_.Indexes().count(collection.source)
                                                             ? store_.FindIndex(collection.source).config.environment
                                                             : std::string()));
      }
      return JsonReply(json::object{{"collections", std::move(collections)}});
    }
    if (method != "POST") return CurrentErrorReply(405, "Method not allowed");
    const json::object body = ParseObject(request.body);
    const std::string name = StringMember(body, "name", true);
    CheckName(name, "Collection");
    const std::string source = StringMember(body, "source", true);
    store_.CreateCollection(name, source);
    return JsonReply(CollectionJson(store_.FindCollection(name), store_.FindIndex(source).config.environment), 201);
  }
  if (path.starts_with(std::string(kCollections) + "/")) {
    const std::string name = path.substr(kCollections.size() + 1);
    const Collection& collection = store_.FindCollection(name);
    if (method == "GET") {
      const auto source = store_.Indexes().find(collection.source);
      return JsonReply(CollectionJson(collection, source == store_.Indexes().end() ? "" : source->second.config.environment));
    }
    if (method != "DELETE") return CurrentErrorReply(405, "Method not allowed");
    store_.Collections().erase(name);
    return {202, ""};
  }
  return CurrentErrorReply(404, "Not found: " + path);
}

std::optional<Reply> Service::Listings(const Request& request, Index& index, const std::string& path,
                                       const std::string& query) {
  const std::string& method = request.method;
  const bool current = !request.api_version.empty();
  if (path == "/vectors/list" && method == "GET") {
    const ListingQuery listing = ReadListingQuery(query);
    const auto space = index.namespaces.find(listing.name_space);
    const Namespace empty;
    json::object page = Page(space == index.namespaces.end() ? empty : space->second, listing, "vectors",
                             [](const auto& entry) { return json::object{{"id", entry.first}}; });
    page["namespace"] = ShownNamespace(listing.name_space, current);
    page["usage"] = {{"readUnits", 1}};
    return JsonReply(page);
  }
  if (path == "/namespaces" && method == "GET") {
    const ListingQuery listing = ReadListingQuery(query);
    json::object page = Page(index.namespaces, listing, "namespaces", [current](const auto& entry) {
      return json::object{{"name", ShownNamespace(entry.first, current)}, {"record_count", entry.second.size()}};
    });
    page["total_count"] = std::count_if(index.namespaces.begin(), index.namespaces.end(),
                                        [&](const auto& entry) { return entry.first.starts_with(listing.prefix); });
    return JsonReply(page);
  }
  constexpr std::string_view kNamespace = "/namespaces/";
  if (!path.starts_with(kNamespace) || (method != "GET" && method != "DELETE")) return std::nullopt;
  const std::string name = StoredNamespace(path.substr(kNamespace.size()));
  const auto space = index.namespaces.find(name);
  if (space == index.namespaces.end()) throw ServiceError{404, "Namespace '" + ShownNamespace(name, current) + "' not found"};
  if (method == "GET") {
    return JsonReply(json::object{{"name", ShownNamespace(name, current)}, {"record_count", space->second.size()}});
  }
  index.namespaces.erase(space);
  return JsonReply(json::object{});
}

}  // namespace zor::pinecone_local
