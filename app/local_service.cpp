#include "app/local_service.h"

#include "app/pinecone_form.h"
#include "pinecone/pinecone_api.h"
#include "pinecone/pinecone_current_api.h"

namespace zor {

void TzorLocalPinecone::Attach(TzorPineconeForm& form) {
  if (form.FieldText("txtApiKey").empty()) form.SetFieldText("txtApiKey", kDefaultApiKey);
  if (form.FieldText("txtVectorsProjectId").empty()) form.SetFieldText("txtVectorsProjectId", TzorPineconeLocal::kProjectId);
  service_.Start(form.FieldText("txtApiKey"));
  // Every host of the service's domain, on the HTTPS port, goes to loopback,
  // with either API.
  form.Pinecone().ConnectTo().push_back({"", 443, "127.0.0.1", service_.Port()});
  form.PineconeCurrent().ConnectTo().push_back({"", 443, "127.0.0.1", service_.Port()});
}

}  // namespace zor
