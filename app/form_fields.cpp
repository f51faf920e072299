#include "app/form_fields.h"

#include <array>

namespace zor {

namespace {

using P = TzorFormPage;
using S = TzorApiScope;

constexpr std::array<TzorFormField, 29> kFields{{
    {"txtApiKey", "API Key:", "", P::Top},
    {kApiField, "API:", kLegacyApi, P::Top},
    {"txtEnvironment", "Environment:", "", P::Top, S::Legacy},
    // Where the current API creates serverless indexes.
    {"txtCloud", "Cloud:", "aws", P::Top, S::Current},
    {"txtRegion", "Region:", "us-east-1", P::Top, S::Current},
    {"txtCreateIndexName", "Name", "zorindex", P::Indexes},
    {"txtCreateIndexDimensions", "Dimensions", "1536", P::Indexes},
    // Empty: a serverless index; else a pod-based one of this type.
    {"txtCreateIndexPodType", "PodType", "", P::Indexes, S::Current},
    {"txtIndexDescribeName", "Name", "zorindex", P::Indexes},
    {"txtIndexDeleteName", "Name", "zorindex", P::Indexes},
    {"txtIndexConfigureName", "Name", "zorindex", P::Indexes},
    {"txtIndexConfigureReplicas", "Replicas", "3", P::Indexes},
    {"txtIndexConfigurePodtype", "PodType", "s1.x2", P::Indexes},
    {"txtVectorsIndexName", "Index Name:", "zorindex", P::Vectors},
    {"txtVectorsProjectId", "Project Id:", "", P::Vectors, S::Legacy},
    // Empty: the default namespace.
    {"txtVectorsNamespace", "Namespace:", "", P::Vectors, S::Current},
    {"txtVectorsQueryVector", "Vector:", "", P::Vectors},
    {"txtVectorsDeleteVectorId", "Vector Id:", "", P::Vectors},
    {"txtVectorsFetchVectorId", "Vector Id:", "", P::Vectors},
    {"txtVectorsUpdateVectorId", "Vector Id:", "", P::Vectors},
    {"txtVectorsUpdateVector", "Vector:", "", P::Vectors},
    {"txtVectorsUpsertVectorId", "Vector Id:", "", P::Vectors},
    {"txtVectorsUpsertVector", "Vector:", "", P::Vectors},
    {"txtVectorsListPrefix", "Prefix:", "", P::Vectors, S::Current},
    {"txtVectorsDeletePrefix", "Prefix:", "", P::Vectors, S::Current},
    {"txtCollectionsCreateName", "Name", "zorcollection", P::Collections},
    {"txtCollectionsCreateSource", "Source", "zorindex", P::Collections},
    {"txtCollectionsDescribeName", "Name", "zorcollection", P::Collections},
    {"txtCollectionsDeleteName", "Name", "zorcollection", P::Collections},
}};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

std::span<const TzorFormField> FormFields() { return kFields; }

const TzorFormField* FindFormField(std::string_view name) {
  for (const auto& field : kFields) {
    if (name == field.name) return &field;
  }
  return nullptr;
}

bool InScope(TzorApiScope scope, std::string_view api) {
  if (scope == S::Both) return true;
  return (scope == S::Current) == (api == kCurrentApi);
}

std::string FieldOptionName(std::string_view field_name) {
  while (!field_name.empty() && field_name.front() >= 'a' && field_name.front() <= 'z') field_name.remove_prefix(1);
  std::string out;
  for (char c : field_name) {
    if (c >= 'A' && c <= 'Z' && !out.empty()) out += '-';
    out += Lower(c);
  }
  return out;
}

std::string CommandOptionName(std::string_view caption) {
  std::string out;
  for (char c : caption) out += c == ' ' ? '-' : Lower(c);
  return out;
}

const char* PageCaption(TzorFormPage page) {
  switch (page) {
    case P::Indexes: return "Indexes";
    case P::Vectors: return "Vectors";
    case P::Collections: return "Collections";
    case P::Top: break;
  }
  return "";
}

}  // namespace zor
