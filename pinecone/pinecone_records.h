#pragma once
// Request records of the Pinecone operations that carry more than two values.
// The caller fills a record; AsJSON renders the request body afresh each time.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

using TzorArrayOfDouble = std::vector<double>;
using TzorArrayOfInt64 = std::vector<int64_t>;
// Lines "name=value" used as a map: the name is the text before the first "=".
using TzorPineconeStringList = std::vector<std::string>;

// The numbers of a JSON array text ("[0.1, 0.2, 3]"), or the member values of
// an object text. An item that is not a number fails with EConvertError
// "'%s' is not a valid floating point value". Independent of the locale.
TzorArrayOfDouble TextToArrayOfDouble(std::string_view text);

// A name or string value as it goes into a request body: '"', '\\' and
// control characters escaped, everything else (non-ASCII included) unchanged,
// so that bodies stay valid JSON whatever the user typed.
std::string EscapeRequestText(std::string_view text);
// Text that begins with "{" or "[" goes into a body as raw JSON (filters and
// metadata values written as JSON by the user).
bool IsRawJSONText(std::string_view text);

class TzorJSON;
// Adds a string member by the rules of every request body: name and value
// escaped as above, raw JSON text embedded unquoted.
void AddPineconeString(TzorJSON& json, std::string_view name, std::string_view value);
// Adds an object member made of "name=value" lines, in list order (a line
// without "=" is a name with an empty value).
void AddPineconeMap(TzorJSON& json, std::string_view name, const TzorPineconeStringList& lines);

// The sparse values of a vector: indices and values.
class TzorHTTPPineconeSparseVector {
 public:
  TzorArrayOfInt64& Indices() { return indices_; }
  const TzorArrayOfInt64& Indices() const { return indices_; }
  void SetIndices(TzorArrayOfInt64 value) { indices_ = std::move(value); }
  TzorArrayOfDouble& Values() { return values_; }
  const TzorArrayOfDouble& Values() const { return values_; }
  void SetValues(TzorArrayOfDouble value) { values_ = std::move(value); }

 private:
  TzorArrayOfInt64 indices_;
  TzorArrayOfDouble values_;
};

// A member created on first read and owned by its record; writing replaces it.
template <class T>
class TzorLazyMember {
 public:
  T& Get() {
    if (!value_) value_ = std::make_unique<T>();
    return *value_;
  }
  void Set(T value) { value_ = std::make_unique<T>(std::move(value)); }
  bool Created() const { return value_ != nullptr; }

 private:
  std::unique_ptr<T> value_;
};

// The two accessors of a lazy member: Name() creates the object on first read,
// SetName(value) replaces it.
#define ZOR_LAZY_PROPERTY(Type, Name, member) \
  Type& Name() { return member.Get(); }       \
  void Set##Name(Type value) { member.Set(std::move(value)); }

// Request record of VectorsQuery.
class TzorHTTPPineconeVectorQuery {
 public:
  ZOR_LAZY_PROPERTY(TzorPineconeStringList, Filter, filter_)
  const std::string& Id() const { return id_; }
  void SetId(std::string value) { id_ = std::move(value); }
  bool IncludeMetadata() const { return include_metadata_; }
  void SetIncludeMetadata(bool value) { include_metadata_ = value; }
  bool IncludeValues() const { return include_values_; }
  void SetIncludeValues(bool value) { include_values_ = value; }
  const std::string& Namespace() const { return namespace_; }
  void SetNamespace(std::string value) { namespace_ = std::move(value); }
  ZOR_LAZY_PROPERTY(TzorHTTPPineconeSparseVector, SparseVector, sparse_vector_)
  int64_t TopK() const { return top_k_; }
  void SetTopK(int64_t value) { top_k_ = value; }
  TzorArrayOfDouble& Vector() { return vector_; }
  void SetVector(TzorArrayOfDouble value) { vector_ = std::move(value); }

  std::string AsJSON();

 private:
  TzorLazyMember<TzorPineconeStringList> filter_;
  std::string id_;
  bool include_metadata_ = false;
  bool include_values_ = false;
  std::string namespace_;
  TzorLazyMember<TzorHTTPPineconeSparseVector> sparse_vector_;
  int64_t top_k_ = 1;
  TzorArrayOfDouble vector_;
};

// Request record of VectorsDelete.
class TzorHTTPPineconeVectorDelete {
 public:
  bool DeleteAll() const { return delete_all_; }
  void SetDeleteAll(bool value) { delete_all_ = value; }
  ZOR_LAZY_PROPERTY(TzorPineconeStringList, Filter, filter_)
  ZOR_LAZY_PROPERTY(TzorPineconeStringList, Ids, ids_)
  const std::string& Namespace() const { return namespace_; }
  void SetNamespace(std::string value) { namespace_ = std::move(value); }

  std::string AsJSON();

 private:
  bool delete_all_ = false;
  TzorLazyMember<TzorPineconeStringList> filter_;
  TzorLazyMember<TzorPineconeStringList> ids_;
  std::string namespace_;
};

// Request record of VectorsUpdate.
class TzorHTTPPineconeVectorUpdate {
 public:
  ZOR_LAZY_PROPERTY(TzorPineconeStringList, SetMetadata, set_metadata_)
  const std::string& Id() const { return id_; }
  void SetId(std::string value) { id_ = std::move(value); }
  const std::string& Namespace() const { return namespace_; }
  void SetNamespace(std::string value) { namespace_ = std::move(value); }
  ZOR_LAZY_PROPERTY(TzorHTTPPineconeSparseVector, SparseValues, sparse_values_)
  TzorArrayOfDouble& Values() { return values_; }
  void SetValues(TzorArrayOfDouble value) { values_ = std::move(value); }

  std::string AsJSON();

 private:
  TzorLazyMember<TzorPineconeStringList> set_metadata_;
  std::string id_;
  std::string namespace_;
  TzorLazyMember<TzorHTTPPineconeSparseVector> sparse_values_;
  TzorArrayOfDouble values_;
};

// One vector of an upsert.
class TzorHTTPPineconeVectorUpsert {
 public:
  const std::string& Id() const { return id_; }
  void SetId(std::string value) { id_ = std::move(value); }
  ZOR_LAZY_PROPERTY(TzorPineconeStringList, Metadata, metadata_)
  ZOR_LAZY_PROPERTY(TzorHTTPPineconeSparseVector, SparseValues, sparse_values_)
  TzorArrayOfDouble& Values() { return values_; }
  void SetValues(TzorArrayOfDouble value) { values_ = std::move(value); }

  std::string AsJSON();

 private:
  std::string id_;
  TzorLazyMember<TzorPineconeStringList> metadata_;
  TzorLazyMember<TzorHTTPPineconeSparseVector> sparse_values_;
  TzorArrayOfDouble values_;
};

using TzorArrayOfVectorUpsert = std::vector<std::unique_ptr<TzorHTTPPineconeVectorUpsert>>;

// Request record of VectorsUpsert: the vectors and their namespace.
class TzorHTTPPineconeVectorUpserts {
 public:
  const std::string& Namespace() const { return namespace_; }
  void SetNamespace(std::string value) { namespace_ = std::move(value); }
  const TzorArrayOfVectorUpsert& Vectors() const { return vectors_; }
  // The list takes ownership.
  void AddVector(std::unique_ptr<TzorHTTPPineconeVectorUpsert> value) { vectors_.push_back(std::move(value)); }
  void Clear() { vectors_.clear(); }

  std::string AsJSON();

 private:
  std::string namespace_;
  TzorArrayOfVectorUpsert vectors_;
};

// Request record of IndexCreate.
class TzorHTTPPineconeIndexCreate {
 public:
  int32_t Dimension() const { return dimension_; }
  void SetDimension(int32_t value) { dimension_ = value; }
  ZOR_LAZY_PROPERTY(TzorPineconeStringList, MetadataConfig, metadata_config_)
  const std::string& Metric() const { return metric_; }
  void SetMetric(std::string value) { metric_ = std::move(value); }
  const std::string& Name() const { return name_; }
  void SetName(std::string value) { name_ = std::move(value); }
  int32_t Pods() const { return pods_; }
  void SetPods(int32_t value) { pods_ = value; }
  const std::string& PodType() const { return pod_type_; }
  void SetPodType(std::string value) { pod_type_ = std::move(value); }
  int32_t Replicas() const { return replicas_; }
  void SetReplicas(int32_t value) { replicas_ = value; }
  const std::string& SourceCollection() const { return source_collection_; }
  void SetSourceCollection(std::string value) { source_collection_ = std::move(value); }

  std::string AsJSON();

 private:
  int32_t dimension_ = 0;
  TzorLazyMember<TzorPineconeStringList> metadata_config_;
  std::string metric_;
  std::string name_;
  int32_t pods_ = 0;
  std::string pod_type_;
  int32_t replicas_ = 0;
  std::string source_collection_;
};

#undef ZOR_LAZY_PROPERTY

}  // namespace zor
