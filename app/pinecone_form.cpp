#include "app/pinecone_form.h"

#include "app/ini_file.h"
#include "app/str_to_int.h"
#include "base/exceptions.h"
#include "pinecone/pinecone_api.h"
#include "pinecone/pinecone_records.h"

#include <array>

namespace zor {

namespace {

using F = TzorPineconeForm;
using P = TzorFormPage;

constexpr std::array<F::Command, 15> kCommands{{
    {"btnIndexesListClick", "Indexes List", P::Indexes, &F::btnIndexesListClick},
    {"btnCreateIndexClick", "Create Index", P::Indexes, &F::btnCreateIndexClick},
    {"btnIndexDescribeClick", "Index Describe", P::Indexes, &F::btnIndexDescribeClick},
    {"btnIndexDeleteClick", "Index Delete", P::Indexes, &F::btnIndexDeleteClick},
    {"btnIndexConfigureClick", "Index Configure", P::Indexes, &F::btnIndexConfigureClick},
    {"btnVectorsDescribeIndexStatsClick", "Describe Index Stats", P::Vectors, &F::btnVectorsDescribeIndexStatsClick},
    {"btnVectorsQueryClick", "Query", P::Vectors, &F::btnVectorsQueryClick},
    {"btnVectorsDeleteClick", "Delete", P::Vectors, &F::btnVectorsDeleteClick},
    {"btnVectorsFetchClick", "Fetch", P::Vectors, &F::btnVectorsFetchClick},
    {"btnVectorsUpdateClick", "Update", P::Vectors, &F::btnVectorsUpdateClick},
    {"btnVectorsUpsertClick", "Upsert", P::Vectors, &F::btnVectorsUpsertClick},
    {"btnListCollectionsClick", "Collections List", P::Collections, &F::btnListCollectionsClick},
    {"btnCollectionsCreateClick", "Create Collection", P::Collections, &F::btnCollectionsCreateClick},
    {"btnCollectionsDescribeClick", "Describe Collection", P::Collections, &F::btnCollectionsDescribeClick},
    {"btnCollectionsDeleteClick", "Collection Delete", P::Collections, &F::btnCollectionsDeleteClick},
}};

struct SettingKey {
  const char* section;
  const char* key;
  const char* field;
  const char* default_value;
};

// In the order they are read and written.
constexpr std::array<SettingKey, 4> kSettings{{
    {"PINECONE", "API_KEY", "txtApiKey", ""},
    {"PINECONE", "ENVIRONMENT", "txtEnvironment", "us-west4-gcp-free"},
    {"PINECONE.INDEX", "INDEX_NAME", "txtVectorsIndexName", ""},
    {"PINECONE.INDEX", "PROJECT_ID", "txtVectorsProjectId", ""},
}};

}  // namespace

std::span<const F::Command> TzorPineconeForm::Commands() { return kCommands; }

const F::Command* TzorPineconeForm::FindCommand(std::string_view name) {
  for (const auto& command : kCommands) {
    if (name == command.caption || name == command.handler || name == CommandOptionName(command.caption)) {
      return &command;
    }
  }
  return nullptr;
}

TzorPineconeForm::TzorPineconeForm() {
  for (const auto& field : FormFields()) fields_.emplace(field.name, field.initial);
}

TzorPineconeForm::~TzorPineconeForm() = default;

const std::string& TzorPineconeForm::FieldText(std::string_view field_name) const {
  const auto it = fields_.find(field_name);
  if (it == fields_.end()) throw Exception("Unknown field " + std::string(field_name));
  return it->second;
}

void TzorPineconeForm::SetFieldText(std::string_view field_name, std::string text) {
  const auto it = fields_.find(field_name);
  if (it == fields_.end()) throw Exception("Unknown field " + std::string(field_name));
  if (it->second == text) return;
  it->second = std::move(text);
  if (field_name == "txtApiKey") Pinecone().PineconeOptions().SetApiKey(it->second);
  if (field_name == "txtEnvironment") Pinecone().PineconeOptions().SetEnvironment(it->second);
  if (OnFieldChanged) OnFieldChanged(*FindFormField(field_name), it->second);
}

void TzorPineconeForm::DoLog(const std::string& text) {
  log_ = text;
  if (OnLog) OnLog(log_);
}

TzorHTTP_API_Pinecone& TzorPineconeForm::Pinecone() {
  if (!pinecone_) pinecone_ = std::make_unique<TzorHTTP_API_Pinecone>();
  return *pinecone_;
}

void TzorPineconeForm::LoadSettings(const TzorIniFile& ini) {
  for (const auto& setting : kSettings) {
    SetFieldText(setting.field, ini.ReadString(setting.section, setting.key, setting.default_value));
  }
}

void TzorPineconeForm::SaveSettings(const TzorIniFile& ini) const {
  for (const auto& setting : kSettings) ini.WriteString(setting.section, setting.key, Text(setting.field));
}

void TzorPineconeForm::btnIndexesListClick() { DoLog(Pinecone().IndexesList()); }

void TzorPineconeForm::btnCreateIndexClick() {
  TzorHTTPPineconeIndexCreate params;
  params.SetName(Text("txtCreateIndexName"));
  params.SetDimension(StrToInt(Text("txtCreateIndexDimensions")));
  DoLog(Pinecone().IndexCreate(params));
}

void TzorPineconeForm::btnIndexDescribeClick() { DoLog(Pinecone().IndexDescribe(Text("txtIndexDescribeName"))); }

void TzorPineconeForm::btnIndexDeleteClick() { DoLog(Pinecone().IndexDelete(Text("txtIndexDeleteName"))); }

void TzorPineconeForm::btnIndexConfigureClick() {
  const std::string pod_type = Text("txtIndexConfigurePodtype");
  const int32_t replicas = StrToInt(Text("txtIndexConfigureReplicas"));
  const std::string name = Text("txtIndexConfigureName");
  DoLog(Pinecone().IndexConfigure(name, replicas, pod_type));
}

void TzorPineconeForm::btnVectorsDescribeIndexStatsClick() {
  const std::string project = Text("txtVectorsProjectId");
  const std::string index = Text("txtVectorsIndexName");
  DoLog(Pinecone().VectorsDescribeIndexStats(index, project, nullptr));
}

void TzorPineconeForm::btnVectorsQueryClick() {
  TzorHTTPPineconeVectorQuery params;
  params.SetVector(TextToArrayOfDouble(Text("txtVectorsQueryVector")));
  const std::string project = Text("txtVectorsProjectId");
  const std::string index = Text("txtVectorsIndexName");
  DoLog(Pinecone().VectorsQuery(index, project, params));
}

void TzorPineconeForm::btnVectorsDeleteClick() {
  TzorHTTPPineconeVectorDelete params;
  params.Ids().push_back(Text("txtVectorsDeleteVectorId"));
  const std::string project = Text("txtVectorsProjectId");
  const std::string index = Text("txtVectorsIndexName");
  DoLog(Pinecone().VectorsDelete(index, project, params));
}

void TzorPineconeForm::btnVectorsFetchClick() {
  const TzorPineconeStringList ids{Text("txtVectorsFetchVectorId")};
  const std::string project = Text("txtVectorsProjectId");
  const std::string index = Text("txtVectorsIndexName");
  DoLog(Pinecone().VectorsFetch(index, project, ids, ""));
}

void TzorPineconeForm::btnVectorsUpdateClick() {
  TzorHTTPPineconeVectorUpdate params;
  params.SetId(Text("txtVectorsUpdateVectorId"));
  params.SetValues(TextToArrayOfDouble(Text("txtVectorsUpdateVector")));
  const std::string project = Text("txtVectorsProjectId");
  const std::string index = Text("txtVectorsIndexName");
  DoLog(Pinecone().VectorsUpdate(index, project, params));
}

void TzorPineconeForm::btnVectorsUpsertClick() {
  auto vector = std::make_unique<TzorHTTPPineconeVectorUpsert>();
  vector->SetId(Text("txtVectorsUpsertVectorId"));
  vector->SetValues(TextToArrayOfDouble(Text("txtVectorsUpsertVector")));
  TzorHTTPPineconeVectorUpserts params;
  params.AddVector(std::move(vector));
  const std::string project = Text("txtVectorsProjectId");
  const std::string index = Text("txtVectorsIndexName");
  DoLog(Pinecone().VectorsUpsert(index, project, params));
}

void TzorPineconeForm::btnListCollectionsClick() { DoLog(Pinecone().CollectionsList()); }

void TzorPineconeForm::btnCollectionsCreateClick() {
  const std::string source = Text("txtCollectionsCreateSource");
  const std::string name = Text("txtCollectionsCreateName");
  DoLog(Pinecone().CollectionCreate(name, source));
}

void TzorPineconeForm::btnCollectionsDescribeClick() {
  DoLog(Pinecone().CollectionDescribe(Text("txtCollectionsDescribeName")));
}

void TzorPineconeForm::btnCollectionsDeleteClick() {
  DoLog(Pinecone().CollectionDelete(Text("txtCollectionsDeleteName")));
}

}  // namespace zor
