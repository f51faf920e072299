#include "app/local_service.h"

#include "app/form_fields.h"
#include "app/pinecone_form.h"
#include "pinecone/pinecone_api.h"
#include "pinecone/pinecone_current_api.h"

namespace zor {

void TzorLocalPinecone::Attach(TzorPineconeForm& form) {
  if (form.FieldText("txtApiKey").empty()) form.SetFieldText("txtApiKey", kDefaultApiKey);
  if (form.FieldText("txtVectorsProjectId").empty()) form.SetFieldText("txtVectorsProjectId", TzorPineconeLocal::kProjectId);
  // A first run has no index name yet: take the one the form creates by default.
  if (form.FieldText("txtVectorsIndexName").empty())
    form.SetFieldText("txtVectorsIndexName", FindFormField("txtCreateIndexName")->initial);
  service_.Start(form.FieldText("txtApiKey"));
  // Every host of the service's domain, on the HTTPS port, goes to loopback,
  // with either API.
  form.Pinecone().ConnectTo().push_back({"", 443, "127.0.0.1", service_.Port()});
  form.PineconeCurrent().ConnectTo().push_back({"", 443, "127.0.0.1", service_.Port()});
}

}  // namespace zor
