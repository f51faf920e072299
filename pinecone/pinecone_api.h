#pragma once
// TzorHTTP_API_Pinecone: the Pinecone operations as REST calls. Each one forms
// the URL (controller or index endpoint), takes its body from a request
// record or a small document, attaches the Pinecone header lines and returns
// the service's answer as text, unchanged.
#include <string>
#include <vector>

#include "http/header_lines.h"
#include "http/rest_api_client.h"
#include "pinecone/pinecone_options.h"
#include "pinecone/pinecone_requests.h"
#include "pinecone/pinecone_records.h"

namespace zor {

// The Pinecone component: every Pinecone operation as one REST call.
class TzorHTTP_API_Pinecone : public TzorHTTPAPI_client {
 public:
  explicit TzorHTTP_API_Pinecone(TzorComponent_Base* owner = nullptr);

  TzorHTTPPinecone_Options& PineconeOptions() { return FPineconeOptions; }
  void SetPineconeOptions(const TzorHTTPPinecone_Options& value) { FPineconeOptions.Assign(value); }

  // Controller endpoint: indexes and collections.
  std::string IndexesList();
  std::string IndexCreate(TzorHTTPPineconeIndexCreate& aParams);
  std::string IndexDescribe(const std::string& aName);
  std::string IndexDelete(const std::string& aName);
  std::string IndexConfigure(const std::string& aName, int aReplicas, const std::string& aPodType);
  std::string CollectionsList();
  std::string CollectionCreate(const std::string& aName, const std::string& aSource);
  std::string CollectionDescribe(const std::string& aName);
  std::string CollectionDelete(const std::string& aName);

  // Data endpoint of one index. aFilter may be null; its lines are name=value.
  std::string VectorsDescribeIndexStats(const std::string& aIndexName, const std::string& aProjectId,
                                        const TzorPineconeStringList* aFilter);
  std::string VectorsQuery(const std::string& aIndexName, const std::string& aProjectId,
                           TzorHTTPPineconeVectorQuery& aParams);
  std::string VectorsDelete(const std::string& aIndexName, const std::string& aProjectId,
                            TzorHTTPPineconeVectorDelete& aParams);
  std::string VectorsFetch(const std::string& aIndexName, const std::string& aProjectId,
                           const TzorPineconeStringList& aIds, const std::string& aNamespace);
  std::string VectorsUpdate(const std::string& aIndexName, const std::string& aProjectId,
                            TzorHTTPPineconeVectorUpdate& aParams);
  std::string VectorsUpsert(const std::string& aIndexName, const std::string& aProjectId,
                            TzorHTTPPineconeVectorUpserts& aParams);

 protected:
  virtual std::string SendGet(const std::string& aURL, const TzorHeaderLines& aHeaders);
  virtual std::string SendPost(const std::string& aURL, const std::string& aBody, const TzorHeaderLines& aHeaders);
  virtual std::string SendDelete(const std::string& aURL, const TzorHeaderLines& aHeaders);
  virtual std::string SendPatch(const std::string& aURL, const std::string& aBody, const TzorHeaderLines& aHeaders);
  virtual std::string PineconeGet(const std::string& aURL);
  virtual std::string PineconePost(const std::string& aURL, const std::string& aBody);
  virtual std::string PineconeDelete(const std::string& aURL);
  virtual std::string PineconePatch(const std::string& aURL, const std::string& aBody);

 private:
  // Copies the log settings into the base when the switch changed.
  void SyncLogOptions();
  std::string GetControllerURL() const;
  std::string GetIndexURL(const std::string& aIndexName, const std::string& aProjectId) const;
  TzorHeaderLines Headers(TzorPineconeVerb aVerb) const;

  TzorHTTPPinecone_Options FPineconeOptions;
};

}  // namespace zor
