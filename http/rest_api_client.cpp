#include "http/rest_api_client.h"

#include "http/http_client.h"
#include "http/charset.h"
#include "http/http_exceptions.h"

namespace zor {

TzorHTTPAPI_client::TzorHTTPAPI_client(TzorComponent_Base* owner)
    : TzorHTTPComponentClient_Base(owner), FTLSOptions(std::make_unique<TzorIdHTTPTLS_Options>()) {
  FTLSOptions->SetVersion(tls1_2);
}

TzorHTTPAPI_client::~TzorHTTPAPI_client() = default;

std::string TzorHTTPAPI_client::Get(const std::string& aURL, const TzorHeaderLines* aHeaders) {
  return DoGet(aURL, aHeaders);
}

std::string TzorHTTPAPI_client::Post(const std::string& aURL, const std::string& aBody,
                                     const TzorHeaderLines* aHeaders, const TzorMultipartFormData* aMultipartFormData,
                                     bool aForceHTTP1) {
  return DoPost(aURL, aBody, aHeaders, aMultipartFormData, aForceHTTP1);
}

std::string TzorHTTPAPI_client::Delete(const std::string& aURL, const TzorHeaderLines* aHeader,
                                       const std::string& aBody) {
  return DoDelete(aURL, aHeader, aBody);
}

std::string TzorHTTPAPI_client::Patch(const std::string& aURL, const std::string& aBody,
                                      const TzorHeaderLines* aHeaders) {
  return DoPatch(aURL, aBody, aHeaders);
}

std::string TzorHTTPAPI_client::Put(const std::string& aURL, const std::string& aBody,
                                    const TzorHeaderLines* aHeaders) {
  return DoPut(aURL, aBody, aHeaders);
}

std::unique_ptr<TzorIdHTTP> TzorHTTPAPI_client::CreateClient() { return std::make_unique<TzorIdHTTP>(); }

std::string TzorHTTPAPI_client::Call(const TzorHeaderLines* aHeaders, bool aForceHTTP1,
                                     const std::function<std::string(TzorIdHTTP&)>& request) {
  try {
    std::unique_ptr<TzorIdHTTP> client = CreateClient();
    if (aForceHTTP1) {
      client->SetProtocolVersion(pv1_1);
      client->HTTPOptions().insert(hoKeepOrigProtocol);
    }
    client->TLSOptions().Assign(*FTLSOptions);
    client->SetLog(FLog);
    client->LogOptions().SetFileName(FLogFileName);
    client->ConnectTo() = connect_to_;
    // Entries go across as entries: joined into text and split again, an entry
    // holding CR or LF would become lines of its own before the writer sees it.
    if (aHeaders) client->Request().CustomHeaders = *aHeaders;
    return request(*client);
  } catch (const EIdHTTPProtocolException& e) {
    EIdHTTPProtocolException extended(e.Message() + ". " + e.ErrorMessage(), e.ErrorCode(), e.ErrorMessage());
    if (!OnHTTPAPIException) throw extended;
    OnHTTPAPIException(this, extended);
  } catch (const std::exception& e) {
    if (!OnHTTPAPIException) throw;
    OnHTTPAPIException(this, e);
  }
  return {};
}

std::string TzorHTTPAPI_client::DoGet(const std::string& aURL, const TzorHeaderLines* aHeaders) {
  return Call(aHeaders, false, [&](TzorIdHTTP& client) { return client.Get(aURL); });
}

std::string TzorHTTPAPI_client::DoPost(const std::string& aURL, const std::string& aBody,
                                       const TzorHeaderLines* aHeaders,
                                       const TzorMultipartFormData* aMultipartFormData, bool aForceHTTP1) {
  return Call(aHeaders, aForceHTTP1, [&](TzorIdHTTP& client) {
    if (aMultipartFormData) return client.Post(aURL, *aMultipartFormData);
    TzorStringStream source(aBody), response;
    client.Post(aURL, source, response);
    return DecodeBodyText(response.DataString(), "utf-8");
  });
}

std::string TzorHTTPAPI_client::DoDelete(const std::string& aURL, const TzorHeaderLines* aHeader,
                                         const std::string& aBody) {
  return Call(aHeader, false, [&](TzorIdHTTP& client) {
    return aBody.empty() ? client.Delete(aURL) : client.Delete(aURL, aBody);
  });
}

std::string TzorHTTPAPI_client::DoPatch(const std::string& aURL, const std::string& aBody,
                                        const TzorHeaderLines* aHeaders) {
  return Call(aHeaders, false, [&](TzorIdHTTP& client) { return client.Patch(aURL, TzorStringStream(aBody)); });
}

std::string TzorHTTPAPI_client::DoPut(const std::string& aURL, const std::string& aBody,
                                      const TzorHeaderLines* aHeaders) {
  return Call(aHeaders, false, [&](TzorIdHTTP& client) { return client.Put(aURL, TzorStringStream(aBody)); });
}

}  // namespace zor
