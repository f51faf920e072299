#pragma once
// The data of the local service: indexes with their namespaces of vectors,
// and collections (frozen copies of an index). Not thread-safe: the server
// runs every request on its one IO thread.
#include <boost/json.hpp>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zor::pinecone_local {

// An answer of the service: status and body (JSON, or empty).
struct Reply {
  int status = 200;
  std::string body;
};

// A failure answered with `status` and a JSON body naming `message`.
struct ServiceError {
  int status;
  std::string message;
};

enum class Metric { cosine, euclidean, dotproduct };

struct SparseValues {
  std::vector<int64_t> indices;
  std::vector<double> values;
};

struct StoredVector {
  std::vector<double> values;
  std::optional<SparseValues> sparse;
  boost::json::object metadata;
  double norm = 0;  // of `values`, kept for cosine scores
};

// Vectors by id, in id order.
using Namespace = std::map<std::string, StoredVector>;
using Namespaces = std::map<std::string, Namespace>;

struct IndexConfig {
  std::string name;
  int64_t dimension = 0;
  Metric metric = Metric::cosine;
  int64_t pods = 1;
  int64_t replicas = 1;
  int64_t shards = 1;
  std::string pod_type = "p1.x1";
  std::optional<boost::json::object> metadata_config;
  std::string source_collection;
  // Where the index lives: its host names this environment. Serverless
  // indexes (current API only) have a cloud and region instead of pods.
  std::string environment;
  bool serverless = false;
  std::string cloud;
  std::string region;
  bool deletion_protection = false;
  bool sparse = false;  // vector_type "sparse": no dimension, dotproduct only
  boost::json::object tags;
};

struct Index {
  IndexConfig config;
  Namespaces namespaces;
};

struct Collection {
  std::string name;
  std::string source;
  int64_t dimension = 0;
  Namespaces namespaces;
};

struct Match {
  const std::string* id;
  const StoredVector* vector;
  double score;
};

const char* MetricName(Metric metric);
std::optional<Metric> MetricFromName(std::string_view name);

double Norm(const std::vector<double>& values);

// True when the metadata satisfies the filter: members compare by equality
// ("field": value, or {"$eq"|"$ne"|"$in"|"$nin": ...}); "$and"/"$or" combine.
// Throws ServiceError 400 for operators it does not know.
bool MatchesFilter(const boost::json::object& metadata, const boost::json::object& filter);

// The `top_k` best vectors of the namespace for the query by the index's
// metric (cosine and dotproduct: highest first; euclidean: squared distance,
// lowest first). Ties keep id order.
std::vector<Match> TopK(const Namespace& space, Metric metric, const std::vector<double>& query,
                        const SparseValues* sparse_query, const boost::json::object* filter, size_t top_k);

size_t CountMatching(const Namespace& space, const boost::json::object* filter);

// Vectors of every namespace together.
size_t VectorCount(const Namespaces& spaces);

class Store {
 public:
  std::map<std::string, Index>& Indexes() { return indexes_; }
  std::map<std::string, Collection>& Collections() { return collections_; }

  // Throws ServiceError when the index or collection is missing.
  Index& FindIndex(const std::string& name);
  Collection& FindCollection(const std::string& name);

  void CreateIndex(IndexConfig config);
  void CreateCollection(const std::string& name, const std::string& source);

 private:
  std::map<std::string, Index> indexes_;
  std::map<std::string, Collection> collections_;
};

}  // namespace zor::pinecone_local
