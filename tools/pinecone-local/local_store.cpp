#include "tools/pinecone-local/local_store.h"

#include <algorithm>
#include <cmath>

namespace zor::pinecone_local {
namespace json = boost::json;

const char* MetricName(Metric metric) {
  switch (metric) {
    case Metric::euclidean: return "euclidean";
    case Metric::dotproduct: return "dotproduct";
    case Metric::cosine: break;
  }
  return "cosine";
}

std::optional<Metric> MetricFromName(std::string_view name) {
  if (name == "cosine") return Metric::cosine;
  if (name == "euclidean") return Metric::euclidean;
  if (name == "dotproduct") return Metric::dotproduct;
  return std::nullopt;
}

double Norm(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values) sum += v * v;
  return std::sqrt(sum);
}

namespace {

bool SameValue(const json::value& a, const json::value& b) {
  if (a.is_number() && b.is_number()) return a.to_number<double>() == b.to_number<double>();
  return a == b;
}

// A list-valued metadata field matches when any of its elements does.
bool FieldEquals(const json::value* field, const json::value& wanted) {
  if (!field) return false;
  if (const json::array* items = field->if_array()) {
    return std::any_of(items->begin(), items->end(), [&](const json::value& item) { return SameValue(item, wanted); });
  }
  return SameValue(*field, wanted);
}

bool FieldIn(const json::value* field, const json::value& list) {
  const json::array* choices = list.if_array();
  if (!choices) throw ServiceError{400, "$in and $nin take an array"};
  return std::any_of(choices->begin(), choices->end(), [&](const json::value& c) { return FieldEquals(field, c); });
}

bool MatchesCondition(const json::value* field, const json::value& condition) {
  const json::object* ops = condition.if_object();
  if (!ops) return FieldEquals(field, condition);
  for (const auto& [op, operand] : *ops) {
    bool ok;
    if (op == "$eq") ok = FieldEquals(field, operand);
    else if (op == "$ne") ok = !FieldEquals(field, operand);
    else if (op == "$in") ok = FieldIn(field, operand);
    else if (op == "$nin") ok = !FieldIn(field, operand);
    else throw ServiceError{400, "unsupported filter operator " + std::string(op)};
    if (!ok) return false;
  }
  return true;
}

bool MatchesEach(const json::object& metadata, const json::value& clauses, bool need_all) {
  const json::array* list = clauses.if_array();
  if (!list) throw ServiceError{400, "$and and $or take an array of filters"};
  for (const json::value& clause : *list) {
    const json::object* filter = clause.if_object();
    if (!filter) throw ServiceError{400, "a filter must be an object"};
    if (MatchesFilter(metadata, *filter) != need_all) return !need_all;
  }
  return need_all;
}

double Dot(const double* a, const double* b, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

double SparseDot(const SparseValues& a, const SparseValues& b) {
  double sum = 0;
  for (size_t i = 0; i < a.indices.size() && i < a.values.size(); ++i) {
    for (size_t j = 0; j < b.indices.size() && j < b.values.size(); ++j) {
      if (a.indices[i] == b.indices[j]) sum += a.values[i] * b.values[j];
    }
  }
  return sum;
}

double Score(Metric metric, const std::vector<double>& query, double query_norm, const StoredVector& v) {
  const size_t n = std::min(query.size(), v.values.size());
  switch (metric) {
    case Metric::dotproduct:
      return Dot(query.data(), v.values.data(), n);
    case Metric::euclidean: {
      double sum = 0;
      for (size_t i = 0; i < n; ++i) {
        const double d = query[i] - v.values[i];
        sum += d * d;
      }
      return sum;
    }
    case Metric::cosine:
      break;
  }
  const double norms = query_norm * v.norm;
  return norms == 0 ? 0 : Dot(query.data(), v.values.data(), n) / norms;
}

}  // namespace

bool MatchesFilter(const json::object& metadata, const json::object& filter) {
  for (const auto& [key, condition] : filter) {
    if (key == "$and" || key == "$or") {
      if (!MatchesEach(metadata, condition, key == "$and")) return false;
      continue;
    }
    if (!key.empty() && key.front() == '$') throw ServiceError{400, "unsupported filter operator " + std::string(key)};
    if (!MatchesCondition(metadata.if_contains(key), condition)) return false;
  }
  return true;
}

std::vector<Match> TopK(const Namespace& space, Metric metric, const std::vector<double>& query,
                        const SparseValues* sparse_query, const json::object* filter, size_t top_k) {
  const double query_norm = Norm(query);
  std::vector<Match> matches;
  matches.reserve(space.size());
  for (const auto& [id, vector] : space) {
    if (filter && !MatchesFilter(vector.metadata, *filter)) continue;
    double score = Score(metric, query, query_norm, vector);
    if (sparse_query && vector.sparse) score += SparseDot(*sparse_query, *vector.sparse);
    matches.push_back({&id, &vector, score});
  }
  const bool lowest_first = metric == Metric::euclidean;
  auto better = [lowest_first](const Match& a, const Match& b) {
    if (a.score != b.score) return lowest_first ? a.score < b.score : a.score > b.score;
    return *a.id < *b.id;
  };
  const size_t keep = std::min(top_k, matches.size());
  std::partial_sort(matches.begin(), matches.begin() + static_cast<std::ptrdiff_t>(keep), matches.end(), better);
  matches.resize(keep);
  return matches;
}

size_t CountMatching(const Namespace& space, const json::object* filter) {
  if (!filter) return space.size();
  return static_cast<size_t>(std::count_if(space.begin(), space.end(), [&](const auto& entry) {
    return MatchesFilter(entry.second.metadata, *filter);
  }));
}

size_t VectorCount(const Namespaces& spaces) {
  size_t total = 0;
  for (const auto& [name, space] : spaces) total += space.size();
  return total;
}

Index& Store::FindIndex(const std::string& name) {
  auto it = indexes_.find(name);
  if (it == indexes_.end()) throw ServiceError{404, "Index '" + name + "' not found"};
  return it->second;
}

Collection& Store::FindCollection(const std::string& name) {
  auto it = collections_.find(name);
  if (it == collections_.end()) throw ServiceError{404, "Collection '" + name + "' not found"};
  return it->second;
}

void Store::CreateIndex(IndexConfig config) {
  if (indexes_.count(config.name)) throw ServiceError{409, "Index '" + config.name + "' already exists"};
  Index index;
  if (!config.source_collection.empty()) {
    const Collection& source = FindCollection(config.source_collection);
    if (source.dimension != config.dimension) {
      throw ServiceError{400, "Dimension " + std::to_string(config.dimension) + " does not match collection '" +
                                  source.name + "' of dimension " + std::to_string(source.dimension)};
    }
    index.namespaces = source.namespaces;
  }
  index.config = std::move(config);
  const std::string name = index.config.name;
  indexes_.emplace(name, std::move(index));
}

void Store::CreateCollection(const std::string& name, const std::string& source) {
  if (collections_.count(name)) throw ServiceError{409, "Collection '" + name + "' already exists"};
  const Index& index = FindIndex(source);
  collections_.emplace(name, Collection{name, source, index.config.dimension, index.namespaces});
}

}  // namespace zor::pinecone_local
