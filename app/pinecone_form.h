#pragma once
// The client's window without a toolkit: the fields, the fifteen commands, the
// log text, the settings file and the lazily created Pinecone component. The
// Qt window and the console front end are thin views over it.
#include "app/form_fields.h"

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace zor {

class TzorHTTP_API_Pinecone;
class TzorHTTP_API_PineconeCurrent;
class TzorHTTPPineconeVectorQuery;
class TzorHTTPPineconeVectorDelete;
class TzorHTTPPineconeVectorUpdate;
class TzorHTTPPineconeVectorUpserts;
class TzorIniFile;

class TzorPineconeForm {
 public:
  struct Command {
    const char* handler;  // "btnIndexesListClick"
    const char* caption;  // "Indexes List"
    TzorFormPage page;
    void (TzorPineconeForm::*run)();          // with the legacy API, or null
    void (TzorPineconeForm::*run_current)();  // with the current API, or null
    TzorApiScope Scope() const;
  };
  static std::span<const Command> Commands();
  static const Command* FindCommand(std::string_view caption_or_option_name);

  TzorPineconeForm();
  ~TzorPineconeForm();

  const std::string& FieldText(std::string_view field_name) const;
  // A change is signalled only when the text differs from the field's text;
  // the API key and environment fields then update the component's options.
  void SetFieldText(std::string_view field_name, std::string text);
  // Told of every signalled change, so a view can show the new text.
  std::function<void(const TzorFormField&, const std::string&)> OnFieldChanged;

  // Replaces the whole log text with the answer of the last command.
  void DoLog(const std::string& text);
  const std::string& LogText() const { return log_; }
  std::function<void(const std::string&)> OnLog;

  // Created on first use and owned by the form.
  TzorHTTP_API_Pinecone& Pinecone();
  bool HasPinecone() const { return pinecone_ != nullptr; }
  // The same for the current API; it takes the API key of the field.
  TzorHTTP_API_PineconeCurrent& PineconeCurrent();
  // Whether the API switch says "current".
  bool UsesCurrentApi() const;

  void LoadSettings(const TzorIniFile& ini);
  void SaveSettings(const TzorIniFile& ini) const;

  // Runs one command with the API the switch names; failures propagate to
  // the caller with the log unchanged.
  void Run(const Command& command);

  void btnIndexesListClick();
  void btnCreateIndexClick();
  void btnIndexDescribeClick();
  void btnIndexDeleteClick();
  void btnIndexConfigureClick();
  void btnVectorsDescribeIndexStatsClick();
  void btnVectorsQueryClick();
  void btnVectorsDeleteClick();
  void btnVectorsFetchClick();
  void btnVectorsUpdateClick();
  void btnVectorsUpsertClick();
  void btnListCollectionsClick();
  void btnCollectionsCreateClick();
  void btnCollectionsDescribeClick();
  void btnCollectionsDeleteClick();

  // The same commands with the current API, and the three it alone has.
  void IndexesListCurrent();
  void CreateIndexCurrent();
  void IndexDescribeCurrent();
  void IndexDeleteCurrent();
  void IndexConfigureCurrent();
  void DescribeIndexStatsCurrent();
  void QueryCurrent();
  void DeleteCurrent();
  void FetchCurrent();
  void UpdateCurrent();
  void UpsertCurrent();
  void CollectionsListCurrent();
  void CollectionsCreateCurrent();
  void CollectionsDescribeCurrent();
  void CollectionsDeleteCurrent();
  void btnVectorsListClick();
  void btnVectorsDeletePrefixClick();
  void btnNamespacesListClick();

 private:
  // Request records from the Vectors page's fields (read in the order the
  // commands read them).
  TzorHTTPPineconeVectorQuery QueryRecord() const;
  TzorHTTPPineconeVectorDelete DeleteRecord() const;
  TzorHTTPPineconeVectorUpdate UpdateRecord() const;
  TzorHTTPPineconeVectorUpserts UpsertRecord() const;

  const std::string& Text(const char* field_name) const { return FieldText(field_name); }

  std::map<std::string, std::string, std::less<>> fields_;
  std::unique_ptr<TzorHTTP_API_Pinecone> pinecone_;
  std::unique_ptr<TzorHTTP_API_PineconeCurrent> pinecone_current_;
  std::string log_;
};

}  // namespace zor
