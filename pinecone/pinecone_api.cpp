#include "pinecone/pinecone_api.h"

#include "base/format.h"
#include "json/json.h"
#include "pinecone/pinecone_requests.h"

namespace zor {

TzorHTTP_API_Pinecone::TzorHTTP_API_Pinecone(TzorComponent_Base* owner) : TzorHTTPAPI_client(owner) {}

void TzorHTTP_API_Pinecone::SyncLogOptions() {
  SyncPineconeLogOptions(FPineconeOptions.LogOptions(), FLog, FLogFileName);
}

std::string TzorHTTP_API_Pinecone::GetControllerURL() const {
  return PineconeControllerURL(FPineconeOptions.Environment());
}

std::string TzorHTTP_API_Pinecone::GetIndexURL(const std::string& aIndexName, const std::string& aProjectId) const {
  return PineconeIndexURL(aIndexName, aProjectId, FPineconeOptions.Environment());
}

TzorHeaderLines TzorHTTP_API_Pinecone::Headers(TzorPineconeVerb aVerb) const {
  TzorHeaderLines lines;
  for (std::string& line : PineconeHeaderLines(aVerb, FPineconeOptions.ApiKey())) lines.Add(std::move(line));
  return lines;
}

std::string TzorHTTP_API_Pinecone::SendGet(const std::string& aURL, const TzorHeaderLines& aHeaders) {
  SyncLogOptions();
  return Get(aURL, &aHeaders);
}

std::string TzorHTTP_API_Pinecone::SendPost(const std::string& aURL, const std::string& aBody,
                                            const TzorHeaderLines& aHeaders) {
  SyncLogOptions();
  return Post(aURL, aBody, &aHeaders, nullptr, true);
}

std::string TzorHTTP_API_Pinecone::SendDelete(const std::string& aURL, const TzorHeaderLines& aHeaders) {
  SyncLogOptions();
  return Delete(aURL, &aHeaders, "");
}

std::string TzorHTTP_API_Pinecone::SendPatch(const std::string& aURL, const std::string& aBody,
                                             const TzorHeaderLines& aHeaders) {
  SyncLogOptions();
  return Patch(aURL, aBody, &aHeaders);
}

std::string TzorHTTP_API_Pinecone::PineconeGet(const std::string& aURL) {
  return SendGet(aURL, Headers(TzorPineconeVerb::Get));
}

std::string TzorHTTP_API_Pinecone::PineconePost(const std::string& aURL, const std::string& aBody) {
  return SendPost(aURL, aBody, Headers(TzorPineconeVerb::Post));
}

std::string TzorHTTP_API_Pinecone::PineconeDelete(const std::string& aURL) {
  return SendDelete(aURL, Headers(TzorPineconeVerb::Delete));
}

std::string TzorHTTP_API_Pinecone::PineconePatch(const std::string& aURL, const std::string& aBody) {
  return SendPatch(aURL, aBody, Headers(TzorPineconeVerb::Patch));
}

// --- controller ----------------------------------------------------------------

std::string TzorHTTP_API_Pinecone::IndexesList() { return PineconeGet(GetControllerURL() + "/databases"); }

std::string TzorHTTP_API_Pinecone::IndexCreate(TzorHTTPPineconeIndexCreate& aParams) {
  return PineconePost(GetControllerURL() + "/databases", aParams.AsJSON());
}

std::string TzorHTTP_API_Pinecone::IndexDescribe(const std::string& aName) {
  return PineconeGet(GetControllerURL() + Format("/databases/%s", aName.c_str()));
}

std::string TzorHTTP_API_Pinecone::IndexDelete(const std::string& aName) {
  return PineconeDelete(GetControllerURL() + Format("/databases/%s", aName.c_str()));
}

std::string TzorHTTP_API_Pinecone::IndexConfigure(const std::string& aName, int aReplicas, const std::string& aPodType) {
  TzorJSON json;
  json.AddPair("replicas", static_cast<int32_t>(aReplicas));
  AddPineconeString(json, "pod_type", aPodType);
  return PineconePatch(GetControllerURL() + Format("/databases/%s", aName.c_str()), json.Text());
}

std::string TzorHTTP_API_Pinecone::CollectionsList() { return PineconeGet(GetControllerURL() + "/collections"); }

std::string TzorHTTP_API_Pinecone::CollectionCreate(const std::string& aName, const std::string& aSource) {
  TzorJSON json;
  AddPineconeString(json, "name", aName);
  AddPineconeString(json, "source", aSource);
  return PineconePost(GetControllerURL() + "/collections", json.Text());
}

std::string TzorHTTP_API_Pinecone::CollectionDescribe(const std::string& aName) {
  return PineconeGet(GetControllerURL() + Format("/collections/%s", aName.c_str()));
}

std::string TzorHTTP_API_Pinecone::CollectionDelete(const std::string& aName) {
  return PineconeDelete(GetControllerURL() + Format("/collections/%s", aName.c_str()));
}

// --- data endpoint ---------------------------------------------------------------

std::string TzorHTTP_API_Pinecone::VectorsDescribeIndexStats(const std::string& aIndexName,
                                                             const std::string& aProjectId,
                                                             const TzorPineconeStringList* aFilter) {
  std::string body;
  if (aFilter && !aFilter->empty()) {
    TzorJSON json;
    AddPineconeMap(json, "filter", *aFilter);
    body = json.Text();
  }
  return PineconePost(GetIndexURL(aIndexName, aProjectId) + "/describe_index_stats", body);
}

std::string TzorHTTP_API_Pinecone::VectorsQuery(const std::string& aIndexName, const std::string& aProjectId,
                                                TzorHTTPPineconeVectorQuery& aParams) {
  return PineconePost(GetIndexURL(aIndexName, aProjectId) + "/query", aParams.AsJSON());
}

std::string TzorHTTP_API_Pinecone::VectorsDelete(const std::string& aIndexName, const std::string& aProjectId,
                                                 TzorHTTPPineconeVectorDelete& aParams) {
  return PineconePost(GetIndexURL(aIndexName, aProjectId) + "/vectors/delete", aParams.AsJSON());
}

std::string TzorHTTP_API_Pinecone::VectorsFetch(const std::string& aIndexName, const std::string& aProjectId,
                                                const TzorPineconeStringList& aIds, const std::string& aNamespace) {
  return PineconeGet(GetIndexURL(aIndexName, aProjectId) + "/vectors/fetch" + PineconeFetchQuery(aIds, aNamespace));
}

std::string TzorHTTP_API_Pinecone::VectorsUpdate(const std::string& aIndexName, const std::string& aProjectId,
                                                 TzorHTTPPineconeVectorUpdate& aParams) {
  return PineconePost(GetIndexURL(aIndexName, aProjectId) + "/vectors/update", aParams.AsJSON());
}

std::string TzorHTTP_API_Pinecone::VectorsUpsert(const std::string& aIndexName, const std::string& aProjectId,
                                                 TzorHTTPPineconeVectorUpserts& aParams) {
  return PineconePost(GetIndexURL(aIndexName, aProjectId) + "/vectors/upsert", aParams.AsJSON());
}

}  // namespace zor
