#include "pinecone/pinecone_current_api.h"

#include "base/exceptions.h"
#include "json/json.h"
#include "json/json_escape.h"
#include "pinecone/pinecone_current_requests.h"

namespace zor {

namespace {

// The ids of a list answer and the token of its next page (empty on the last).
struct IdPage {
  std::vector<std::string> ids;
  std::string next;
};

std::string UnescapedText(const IzorObjectJSON& node) {
  std::string text;
  if (!node || !UnescapeJSONText(node->ValueText(), text)) throw Exception("The service's list answer is not readable");
  return text;
}

IdPage ReadIdPage(const std::string& answer) {
  TzorJSON json;
  json.Read(answer);
  IdPage page;
  if (const IzorObjectJSON vectors = json.Node("vectors"); vectors && vectors->NestedJSON()) {
    for (const auto* item : vectors->NestedJSON()->Nodes()) {
      const TzorJSON* entry = item->NestedJSON();
      if (entry) page.ids.push_back(UnescapedText(entry->Node("id")));
    }
  }
  if (const IzorObjectJSON pagination = json.Node("pagination"); pagination && pagination->NestedJSON()) {
    if (const IzorObjectJSON next = pagination->NestedJSON()->Node("next")) page.next = UnescapedText(next);
  }
  return page;
}

// The "host" member of a describe-index answer, or empty.
std::string HostOf(const std::string& description) {
  TzorJSON json;
  json.Read(description);
  const IzorObjectJSON host = json.Node("host");
  return host ? host->ValueText() : std::string();
}

}  // namespace

TzorHTTP_API_PineconeCurrent::TzorHTTP_API_PineconeCurrent(TzorComponent_Base* owner) : TzorHTTPAPI_client(owner) {}

std::string TzorHTTP_API_PineconeCurrent::PineconeRequest(TzorPineconeVerb aVerb, const std::string& aURL,
                                                          const std::string& aBody) {
  TzorHeaderLines headers;
  for (std::string& line : PineconeCurrentHeaderLines(aVerb, FPineconeOptions.ApiKey())) headers.Add(std::move(line));
  SyncPineconeLogOptions(FPineconeOptions.LogOptions(), FLog, FLogFileName);
  switch (aVerb) {
    case TzorPineconeVerb::Get: return Get(aURL, &headers);
    case TzorPineconeVerb::Post: return Post(aURL, aBody, &headers, nullptr, true);
    case TzorPineconeVerb::Delete: return Delete(aURL, &headers, "");
    case TzorPineconeVerb::Patch: break;
  }
  return Patch(aURL, aBody, &headers);
}

std::string TzorHTTP_API_PineconeCurrent::Controller(TzorPineconeVerb aVerb, const std::string& aPath,
                                                     const std::string& aBody) {
  return PineconeRequest(aVerb, kPineconeCurrentControllerURL + aPath, aBody);
}

std::string TzorHTTP_API_PineconeCurrent::DataPlane(TzorPineconeVerb aVerb, const std::string& aIndexName,
                                                    const std::string& aPath, const std::string& aBody) {
  std::string host;
  try {
    host = IndexHost(aIndexName);
  } catch (const Exception& e) {
    // An index without host fails the call like any other error: the error
    // event, when assigned, takes it over.
    if (!OnHTTPAPIException) throw;
    OnHTTPAPIException(this, e);
    return {};
  }
  return PineconeRequest(aVerb, PineconeHostURL(host) + aPath, aBody);
}

// --- control plane ---------------------------------------------------------------

std::string TzorHTTP_API_PineconeCurrent::IndexesList() { return Controller(TzorPineconeVerb::Get, "/indexes"); }

std::string TzorHTTP_API_PineconeCurrent::IndexCreate(const TzorHTTPPineconeCreateIndexRequest& aParams) {
  // A new index of an old name gets a new host.
  hosts_.erase(aParams.Name());
  const std::string answer = Controller(TzorPineconeVerb::Post, "/indexes", aParams.AsJSON());
  if (const std::string host = HostOf(answer); !host.empty()) hosts_[aParams.Name()] = host;
  return answer;
}

std::string TzorHTTP_API_PineconeCurrent::IndexDescribe(const std::string& aName) {
  const std::string answer = Controller(TzorPineconeVerb::Get, "/indexes/" + aName);
  if (const std::string host = HostOf(answer); !host.empty()) hosts_[aName] = host;
  return answer;
}

std::string TzorHTTP_API_PineconeCurrent::IndexConfigure(const std::string& aName,
                                                         const TzorHTTPPineconeConfigureIndexRequest& aParams) {
  return Controller(TzorPineconeVerb::Patch, "/indexes/" + aName, aParams.AsJSON());
}

std::string TzorHTTP_API_PineconeCurrent::IndexDelete(const std::string& aName) {
  hosts_.erase(aName);
  return Controller(TzorPineconeVerb::Delete, "/indexes/" + aName);
}

std::string TzorHTTP_API_PineconeCurrent::CollectionsList() { return Controller(TzorPineconeVerb::Get, "/collections"); }

std::string TzorHTTP_API_PineconeCurrent::CollectionCreate(const std::string& aName, const std::string& aSource) {
  TzorJSON json;
  AddPineconeString(json, "name", aName);
  AddPineconeString(json, "source", aSource);
  return Controller(TzorPineconeVerb::Post, "/collections", json.Text());
}

std::string TzorHTTP_API_PineconeCurrent::CollectionDescribe(const std::string& aName) {
  return Controller(TzorPineconeVerb::Get, "/collections/" + aName);
}

std::string TzorHTTP_API_PineconeCurrent::CollectionDelete(const std::string& aName) {
  return Controller(TzorPineconeVerb::Delete, "/collections/" + aName);
}

// --- data plane ------------------------------------------------------------------

std::string TzorHTTP_API_PineconeCurrent::IndexHost(const std::string& aIndexName) {
  if (const auto known = hosts_.find(aIndexName); known != hosts_.end()) return known->second;
  IndexDescribe(aIndexName);
  const auto described = hosts_.find(aIndexName);
  if (described == hosts_.end()) throw Exception("The index '" + aIndexName + "' has no host yet");
  return described->second;
}

std::string TzorHTTP_API_PineconeCurrent::VectorsDescribeIndexStats(const std::string& aIndexName,
                                                                    const TzorPineconeStringList* aFilter) {
  // The current API wants a JSON body here, an empty object at least.
  TzorJSON json;
  if (aFilter && !aFilter->empty()) AddPineconeMap(json, "filter", *aFilter);
  return DataPlane(TzorPineconeVerb::Post, aIndexName, "/describe_index_stats", json.Text());
}

std::string TzorHTTP_API_PineconeCurrent::VectorsQuery(const std::string& aIndexName,
                                                       TzorHTTPPineconeVectorQuery& aParams) {
  return DataPlane(TzorPineconeVerb::Post, aIndexName, "/query", aParams.AsJSON());
}

std::string TzorHTTP_API_PineconeCurrent::VectorsDelete(const std::string& aIndexName,
                                                        TzorHTTPPineconeVectorDelete& aParams) {
  return DataPlane(TzorPineconeVerb::Post, aIndexName, "/vectors/delete", aParams.AsJSON());
}

std::string TzorHTTP_API_PineconeCurrent::VectorsFetch(const std::string& aIndexName, const TzorPineconeStringList& aIds,
                                                       const std::string& aNamespace) {
  return DataPlane(TzorPineconeVerb::Get, aIndexName, "/vectors/fetch" + PineconeFetchQuery(aIds, aNamespace));
}

std::string TzorHTTP_API_PineconeCurrent::VectorsUpdate(const std::string& aIndexName,
                                                        TzorHTTPPineconeVectorUpdate& aParams) {
  return DataPlane(TzorPineconeVerb::Post, aIndexName, "/vectors/update", aParams.AsJSON());
}

std::string TzorHTTP_API_PineconeCurrent::VectorsUpsert(const std::string& aIndexName,
                                                        TzorHTTPPineconeVectorUpserts& aParams) {
  return DataPlane(TzorPineconeVerb::Post, aIndexName, "/vectors/upsert", aParams.AsJSON());
}

std::string TzorHTTP_API_PineconeCurrent::VectorsList(const std::string& aIndexName, const std::string& aPrefix,
                                                      int64_t aLimit, const std::string& aPaginationToken,
                                                      const std::string& aNamespace) {
  return DataPlane(TzorPineconeVerb::Get, aIndexName,
                   "/vectors/list" + PineconeListQuery(aPrefix, aLimit, aPaginationToken, aNamespace));
}

std::string TzorHTTP_API_PineconeCurrent::VectorsDeleteByPrefix(const std::string& aIndexName,
                                                                const std::string& aPrefix,
                                                                const std::string& aNamespace) {
  if (aPrefix.empty()) throw Exception("Deleting by prefix needs a prefix");
  size_t deleted = 0;
  std::string token;
  do {
    const IdPage page = ReadIdPage(VectorsList(aIndexName, aPrefix, 0, token, aNamespace));
    if (!page.ids.empty()) {
      TzorHTTPPineconeVectorDelete del;
      del.SetIds(page.ids);
      del.SetNamespace(aNamespace);
      VectorsDelete(aIndexName, del);
      deleted += page.ids.size();
    }
    // A page without ids or a token that does not move on would never end the loop.
    if (page.ids.empty() || page.next == token) break;
    token = page.next;
  } while (!token.empty());
  return "{\"deletedCount\":" + std::to_string(deleted) + "}";
}

std::string TzorHTTP_API_PineconeCurrent::NamespacesList(const std::string& aIndexName) {
  return DataPlane(TzorPineconeVerb::Get, aIndexName, "/namespaces");
}

std::string TzorHTTP_API_PineconeCurrent::NamespaceDescribe(const std::string& aIndexName,
                                                            const std::string& aNamespace) {
  return DataPlane(TzorPineconeVerb::Get, aIndexName, PineconeNamespacePath(aNamespace));
}

std::string TzorHTTP_API_PineconeCurrent::NamespaceDelete(const std::string& aIndexName,
                                                          const std::string& aNamespace) {
  return DataPlane(TzorPineconeVerb::Delete, aIndexName, PineconeNamespacePath(aNamespace));
}

}  // namespace zor
