#include "app/pinecone_form.h"

#include "app/ini_file.h"
#include "app/str_to_int.h"
#include "base/exceptions.h"
#include "pinecone/pinecone_api.h"
#include "pinecone/pinecone_current_api.h"
#include "pinecone/pinecone_records.h"

#include <array>

namespace zor {

namespace {

using F = TzorPineconeForm;
using P = TzorFormPage;

constexpr std::array<F::Command, 18> kCommands{{
    {"btnIndexesListClick", "Indexes List", P::Indexes, &F::btnIndexesListClick, &F::IndexesListCurrent},
    {"btnCreateIndexClick", "Create Index", P::Indexes, &F::btnCreateIndexClick, &F::CreateIndexCurrent},
    {"btnIndexDescribeClick", "Index Describe", P::Indexes, &F::btnIndexDescribeClick, &F::IndexDescribeCurrent},
    {"btnIndexDeleteClick", "Index Delete", P::Indexes, &F::btnIndexDeleteClick, &F::IndexDeleteCurrent},
    {"btnIndexConfigureClick", "Index Configure", P::Indexes, &F::btnIndexConfigureClick, &F::IndexConfigureCurrent},
    {"btnVectorsDescribeIndexStatsClick", "Describe Index Stats", P::Vectors, &F::btnVectorsDescribeIndexStatsClick,
     &F::DescribeIndexStatsCurrent},
    {"btnVectorsQueryClick", "Query", P::Vectors, &F::btnVectorsQueryClick, &F::QueryCurrent},
    {"btnVectorsDeleteClick", "Delete", P::Vectors, &F::btnVectorsDeleteClick, &F::DeleteCurrent},
    {"btnVectorsFetchClick", "Fetch", P::Vectors, &F::btnVectorsFetchClick, &F::FetchCurrent},
    {"btnVectorsUpdateClick", "Update", P::Vectors, &F::btnVectorsUpdateClick, &F::UpdateCurrent},
    {"btnVectorsUpsertClick", "Upsert", P::Vectors, &F::btnVectorsUpsertClick, &F::UpsertCurrent},
    {"btnVectorsListClick", "List", P::Vectors, nullptr, &F::btnVectorsListClick},
    {"btnVectorsDeletePrefixClick", "Delete By Prefix", P::Vectors, nullptr, &F::btnVectorsDeletePrefixClick},
    {"btnNamespacesListClick", "Namespaces List", P::Vectors, nullptr, &F::btnNamespacesListClick},
    {"btnListCollectionsClick", "Collections List", P::Collections, &F::btnListCollectionsClick, &F::CollectionsListCurrent},
    {"btnCollectionsCreateClick", "Create Collection", P::Collections, &F::btnCollectionsCreateClick,
     &F::CollectionsCreateCurrent},
    {"btnCollectionsDescribeClick", "Describe Collection", P::Collections, &F::btnCollectionsDescribeClick,
     &F::CollectionsDescribeCurrent},
    {"btnCollectionsDeleteClick", "Collection Delete", P::Collections, &F::btnCollectionsDeleteClick,
     &F::CollectionsDeleteCurrent},
}};

struct SettingKey {
  const char* section;
  const char* key;
  const char* field;
  const char* default_value;
};

// In the order they are read and written. The API switch and what only the
// current API needs have a section of their own, so files without it still
// read as before (legacy API).
constexpr std::array<SettingKey, 7> kSettings{{
    {"PINECONE", "API_KEY", "txtApiKey", ""},
    {"PINECONE", "ENVIRONMENT", "txtEnvironment", "us-west4-gcp-free"},
    {"PINECONE.INDEX", "INDEX_NAME", "txtVectorsIndexName", ""},
    {"PINECONE.INDEX", "PROJECT_ID", "txtVectorsProjectId", ""},
    {"PINECONE.API", "MODE", kApiField, kLegacyApi},
    {"PINECONE.API", "CLOUD", "txtCloud", "aws"},
    {"PINECONE.API", "REGION", "txtRegion", "us-east-1"},
}};

}  // namespace

TzorApiScope F::Command::Scope() const {
  if (!run) return TzorApiScope::Current;
  return run_current ? TzorApiScope::Both : TzorApiScope::Legacy;
}

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
  if (field_name == kApiField && text != kLegacyApi && text != kCurrentApi) {
    throw Exception("The API is " + std::string(kLegacyApi) + " or " + kCurrentApi + ", not '" + text + "'");
  }
  it->second = std::move(text);
  if (field_name == "txtApiKey" && pinecone_current_) pinecone_current_->PineconeOptions().SetApiKey(it->second);
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

TzorHTTP_API_PineconeCurrent& TzorPineconeForm::PineconeCurrent() {
  if (!pinecone_current_) {
    pinecone_current_ = std::make_unique<TzorHTTP_API_PineconeCurrent>();
    pinecone_current_->PineconeOptions().SetApiKey(Text("txtApiKey"));
  }
  return *pinecone_current_;
}

bool TzorPineconeForm::UsesCurrentApi() const { return Text(kApiField) == kCurrentApi; }

void TzorPineconeForm::Run(const Command& command) {
  const bool current = UsesCurrentApi();
  const auto run = current ? command.run_current : command.run;
  if (!run) {
    throw Exception("\"" + std::string(command.caption) + "\" needs the " + (current ? kLegacyApi : kCurrentApi) + " API");
  }
  (this->*run)();
}

void TzorPineconeForm::LoadSettings(const TzorIniFile& ini) {
  for (const auto& setting : kSettings) {
    std::string value = ini.ReadString(setting.section, setting.key, setting.default_value);
    // A switch this program does not know keeps the legacy API.
    if (setting.field == std::string_view(kApiField) && value != kCurrentApi) value = kLegacyApi;
    SetFieldText(setting.field, std::move(value));
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

TzorHTTPPineconeVectorQuery TzorPineconeForm::QueryRecord() const {
  TzorHTTPPineconeVectorQuery params;
  params.SetVector(TextToArrayOfDouble(Text("txtVectorsQueryVector")));
  return params;
}

TzorHTTPPineconeVectorDelete TzorPineconeForm::DeleteRecord() const {
  TzorHTTPPineconeVectorDelete params;
  params.Ids().push_back(Text("txtVectorsDeleteVectorId"));
  return params;
}

TzorHTTPPineconeVectorUpdate TzorPineconeForm::UpdateRecord() const {
  TzorHTTPPineconeVectorUpdate params;
  params.SetId(Text("txtVectorsUpdateVectorId"));
  params.SetValues(TextToArrayOfDouble(Text("txtVectorsUpdateVector")));
  return params;
}

TzorHTTPPineconeVectorUpserts TzorPineconeForm::UpsertRecord() const {
  auto vector = std::make_unique<TzorHTTPPineconeVectorUpsert>();
  vector->SetId(Text("txtVectorsUpsertVectorId"));
  vector->SetValues(TextToArrayOfDouble(Text("txtVectorsUpsertVector")));
  TzorHTTPPineconeVectorUpserts params;
  params.AddVector(std::move(vector));
  return params;
}

void TzorPineconeForm::btnVectorsQueryClick() {
  TzorHTTPPineconeVectorQuery params = QueryRecord();
  const std::string project = Text("txtVectorsProjectId");
  const std::string index = Text("txtVectorsIndexName");
  DoLog(Pinecone().VectorsQuery(index, project, params));
}

void TzorPineconeForm::btnVectorsDeleteClick() {
  TzorHTTPPineconeVectorDelete params = DeleteRecord();
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
  TzorHTTPPineconeVectorUpdate params = UpdateRecord();
  const std::string project = Text("txtVectorsProjectId");
  const std::string index = Text("txtVectorsIndexName");
  DoLog(Pinecone().VectorsUpdate(index, project, params));
}

void TzorPineconeForm::btnVectorsUpsertClick() {
  TzorHTTPPineconeVectorUpserts params = UpsertRecord();
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
