#pragma once
// Request records of the current API's index operations. The vector
// operations take the same records as the legacy API (their bodies are the
// same on both).
#include <cstdint>
#include <string>

#include "pinecone/pinecone_records.h"

namespace zor {

// Body of create-index. With an `Environment` the index is pod-based
// ("spec": {"pod": ...}), otherwise serverless in `Cloud` and `Region`.
class TzorHTTPPineconeCreateIndexRequest {
 public:
  const std::string& Name() const { return name_; }
  void SetName(std::string value) { name_ = std::move(value); }
  // 0 leaves the dimension out (sparse indexes have none).
  int32_t Dimension() const { return dimension_; }
  void SetDimension(int32_t value) { dimension_ = value; }
  const std::string& Metric() const { return metric_; }
  void SetMetric(std::string value) { metric_ = std::move(value); }
  // "enabled" or "disabled"; empty leaves the service's default.
  const std::string& DeletionProtection() const { return deletion_protection_; }
  void SetDeletionProtection(std::string value) { deletion_protection_ = std::move(value); }
  // "dense" or "sparse"; empty leaves the service's default.
  const std::string& VectorType() const { return vector_type_; }
  void SetVectorType(std::string value) { vector_type_ = std::move(value); }
  TzorPineconeStringList& Tags() { return tags_; }

  // Serverless spec.
  const std::string& Cloud() const { return cloud_; }
  void SetCloud(std::string value) { cloud_ = std::move(value); }
  const std::string& Region() const { return region_; }
  void SetRegion(std::string value) { region_ = std::move(value); }

  // Pod spec.
  const std::string& Environment() const { return environment_; }
  void SetEnvironment(std::string value) { environment_ = std::move(value); }
  const std::string& PodType() const { return pod_type_; }
  void SetPodType(std::string value) { pod_type_ = std::move(value); }
  int32_t Pods() const { return pods_; }
  void SetPods(int32_t value) { pods_ = value; }
  int32_t Replicas() const { return replicas_; }
  void SetReplicas(int32_t value) { replicas_ = value; }
  int32_t Shards() const { return shards_; }
  void SetShards(int32_t value) { shards_ = value; }

  // Either spec.
  const std::string& SourceCollection() const { return source_collection_; }
  void SetSourceCollection(std::string value) { source_collection_ = std::move(value); }

  bool IsPodBased() const { return !environment_.empty(); }
  std::string AsJSON() const;

 private:
  std::string name_;
  int32_t dimension_ = 0;
  std::string metric_;
  std::string deletion_protection_;
  std::string vector_type_;
  TzorPineconeStringList tags_;
  std::string cloud_;
  std::string region_;
  std::string environment_;
  std::string pod_type_;
  int32_t pods_ = 0;
  int32_t replicas_ = 0;
  int32_t shards_ = 0;
  std::string source_collection_;
};

// Body of configure-index: the pod values go into "spec": {"pod": ...}; what
// is empty (or 0) is left as it is.
class TzorHTTPPineconeConfigureIndexRequest {
 public:
  int32_t Replicas() const { return replicas_; }
  void SetReplicas(int32_t value) { replicas_ = value; }
  const std::string& PodType() const { return pod_type_; }
  void SetPodType(std::string value) { pod_type_ = std::move(value); }
  const std::string& DeletionProtection() const { return deletion_protection_; }
  void SetDeletionProtection(std::string value) { deletion_protection_ = std::move(value); }
  TzorPineconeStringList& Tags() { return tags_; }

  std::string AsJSON() const;

 private:
  int32_t replicas_ = 0;
  std::string pod_type_;
  std::string deletion_protection_;
  TzorPineconeStringList tags_;
};

}  // namespace zor
