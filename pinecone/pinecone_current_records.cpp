#include "pinecone/pinecone_current_records.h"

#include "json/json.h"

namespace zor {

namespace {

void AddTextIfAny(TzorJSON& json, std::string_view name, const std::string& value) {
  if (!value.empty()) AddPineconeString(json, name, value);
}

void AddCountIfAny(TzorJSON& json, std::string_view name, int32_t value) {
  if (value != 0) json.AddPair(name, value);
}

void AddServerlessSpec(TzorJSON& spec, const TzorHTTPPineconeCreateIndexRequest& r) {
  IzorJSON serverless = spec.AddObject("serverless", "")->JSONObject();
  AddPineconeString(*serverless, "cloud", r.Cloud());
  AddPineconeString(*serverless, "region", r.Region());
  AddTextIfAny(*serverless, "source_collection", r.SourceCollection());
}

void AddPodSpec(TzorJSON& spec, const TzorHTTPPineconeCreateIndexRequest& r) {
  IzorJSON pod = spec.AddObject("pod", "")->JSONObject();
  AddPineconeString(*pod, "environment", r.Environment());
  AddPineconeString(*pod, "pod_type", r.PodType());
  AddCountIfAny(*pod, "pods", r.Pods());
  AddCountIfAny(*pod, "replicas", r.Replicas());
  AddCountIfAny(*pod, "shards", r.Shards());
  AddTextIfAny(*pod, "source_collection", r.SourceCollection());
}

}  // namespace

std::string TzorHTTPPineconeCreateIndexRequest::AsJSON() const {
  TzorJSON json;
  AddPineconeString(json, "name", name_);
  AddCountIfAny(json, "dimension", dimension_);
  AddTextIfAny(json, "metric", metric_);
  AddTextIfAny(json, "deletion_protection", deletion_protection_);
  if (!tags_.empty()) AddPineconeMap(json, "tags", tags_);
  AddTextIfAny(json, "vector_type", vector_type_);
  IzorJSON spec = json.AddObject("spec", "")->JSONObject();
  if (IsPodBased()) {
    AddPodSpec(*spec, *this);
  } else {
    AddServerlessSpec(*spec, *this);
  }
  return json.Text();
}

std::string TzorHTTPPineconeConfigureIndexRequest::AsJSON() const {
  TzorJSON json;
  if (replicas_ != 0 || !pod_type_.empty()) {
    IzorJSON pod = json.AddObject("spec", "")->JSONObject()->AddObject("pod", "")->JSONObject();
    AddCountIfAny(*pod, "replicas", replicas_);
    AddTextIfAny(*pod, "pod_type", pod_type_);
  }
  AddTextIfAny(json, "deletion_protection", deletion_protection_);
  if (!tags_.empty()) AddPineconeMap(json, "tags", tags_);
  return json.Text();
}

}  // namespace zor
