#pragma once
// TzorHTTP_API_PineconeCurrent: the service's current, versioned API (see
// pinecone_current_requests.h for the version followed). Indexes and
// collections live on one global control plane; each index has a host of its
// own, which describe-index reports and this component remembers. Every
// operation returns the service's answer as text, unchanged, like the legacy
// component TzorHTTP_API_Pinecone, which stays as it is beside this one.
#include <map>
#include <string>

#include "http/rest_api_client.h"
#include "pinecone/pinecone_current_records.h"
#include "pinecone/pinecone_options.h"
#include "pinecone/pinecone_records.h"
#include "pinecone/pinecone_requests.h"

namespace zor {

// The Pinecone component for the service's current, versioned API.
class TzorHTTP_API_PineconeCurrent : public TzorHTTPAPI_client {
 public:
  explicit TzorHTTP_API_PineconeCurrent(TzorComponent_Base* owner = nullptr);

  // The API key and log options; the environment is not used, as the control
  // plane is global and every index names its own host.
  TzorHTTPPinecone_Options& PineconeOptions() { return FPineconeOptions; }
  void SetPineconeOptions(const TzorHTTPPinecone_Options& value) { FPineconeOptions.Assign(value); }

  // Control plane: indexes and collections.
  std::string IndexesList();
  std::string IndexCreate(const TzorHTTPPineconeCreateIndexRequest& aParams);
  std::string IndexDescribe(const std::string& aName);
  std::string IndexConfigure(const std::string& aName, const TzorHTTPPineconeConfigureIndexRequest& aParams);
  std::string IndexDelete(const std::string& aName);
  std::string CollectionsList();
  std::string CollectionCreate(const std::string& aName, const std::string& aSource);
  std::string CollectionDescribe(const std::string& aName);
  std::string CollectionDelete(const std::string& aName);

  // The host of an index: the one set or last described, else the one
  // describe-index reports now. Fails when the index has no host yet.
  std::string IndexHost(const std::string& aIndexName);
  void SetIndexHost(const std::string& aIndexName, const std::string& aHost) { hosts_[aIndexName] = aHost; }

  // Data plane of one index. aFilter may be null; its lines are name=value.
  std::string VectorsDescribeIndexStats(const std::string& aIndexName, const TzorPineconeStringList* aFilter);
  std::string VectorsQuery(const std::string& aIndexName, TzorHTTPPineconeVectorQuery& aParams);
  std::string VectorsDelete(const std::string& aIndexName, TzorHTTPPineconeVectorDelete& aParams);
  std::string VectorsFetch(const std::string& aIndexName, const TzorPineconeStringList& aIds,
                           const std::string& aNamespace);
  std::string VectorsUpdate(const std::string& aIndexName, TzorHTTPPineconeVectorUpdate& aParams);
  std::string VectorsUpsert(const std::string& aIndexName, TzorHTTPPineconeVectorUpserts& aParams);
  // Ids by prefix, a page at a time (aLimit 0: the service's page size).
  std::string VectorsList(const std::string& aIndexName, const std::string& aPrefix, int64_t aLimit,
                          const std::string& aPaginationToken, const std::string& aNamespace);
  // Deletes every record whose id begins with aPrefix: a page of ids from
  // list, then one delete of those ids, until no page is left. The answer is
  // {"deletedCount":N}. An empty prefix is refused, as it would mean every
  // record of the namespace.
  std::string VectorsDeleteByPrefix(const std::string& aIndexName, const std::string& aPrefix,
                                    const std::string& aNamespace);
  std::string NamespacesList(const std::string& aIndexName);
  std::string NamespaceDescribe(const std::string& aIndexName, const std::string& aNamespace);
  std::string NamespaceDelete(const std::string& aIndexName, const std::string& aNamespace);

 protected:
  // Every request goes through here: header lines of the verb, log options
  // brought up to date, then the base's verb. POST goes out as HTTP/1.1.
  virtual std::string PineconeRequest(TzorPineconeVerb aVerb, const std::string& aURL, const std::string& aBody);

 private:
  std::string Controller(TzorPineconeVerb aVerb, const std::string& aPath, const std::string& aBody = {});
  std::string DataPlane(TzorPineconeVerb aVerb, const std::string& aIndexName, const std::string& aPath,
                        const std::string& aBody = {});

  TzorHTTPPinecone_Options FPineconeOptions;
  std::map<std::string, std::string, std::less<>> hosts_;  // index name -> host
};

}  // namespace zor
