// The form's commands with the current API: the same fields as with the
// legacy API, except that indexes are found by name alone (the component asks
// the control plane for their host), vectors are in the namespace of the
// Vectors page (empty: the default one), and new indexes go to the cloud and
// region of the top panel: serverless, or pod-based when a pod type is given,
// in the pod environment "<region>-<cloud>" (the service names them so, as in
// "us-east-1-aws").
#include "app/pinecone_form.h"
#include "app/str_to_int.h"
#include "pinecone/pinecone_current_api.h"

namespace zor {

void TzorPineconeForm::IndexesListCurrent() { DoLog(PineconeCurrent().IndexesList()); }

void TzorPineconeForm::CreateIndexCurrent() {
  TzorHTTPPineconeCreateIndexRequest params;
  params.SetName(Text("txtCreateIndexName"));
  params.SetDimension(StrToInt(Text("txtCreateIndexDimensions")));
  params.SetCloud(Text("txtCloud"));
  params.SetRegion(Text("txtRegion"));
  if (const std::string& pod_type = Text("txtCreateIndexPodType"); !pod_type.empty()) {
    params.SetEnvironment(params.Region() + "-" + params.Cloud());
    params.SetPodType(pod_type);
  }
  DoLog(PineconeCurrent().IndexCreate(params));
}

void TzorPineconeForm::IndexDescribeCurrent() { DoLog(PineconeCurrent().IndexDescribe(Text("txtIndexDescribeName"))); }

void TzorPineconeForm::IndexDeleteCurrent() { DoLog(PineconeCurrent().IndexDelete(Text("txtIndexDeleteName"))); }

void TzorPineconeForm::IndexConfigureCurrent() {
  TzorHTTPPineconeConfigureIndexRequest params;
  params.SetPodType(Text("txtIndexConfigurePodtype"));
  params.SetReplicas(StrToInt(Text("txtIndexConfigureReplicas")));
  DoLog(PineconeCurrent().IndexConfigure(Text("txtIndexConfigureName"), params));
}

void TzorPineconeForm::DescribeIndexStatsCurrent() {
  DoLog(PineconeCurrent().VectorsDescribeIndexStats(Text("txtVectorsIndexName"), nullptr));
}

void TzorPineconeForm::QueryCurrent() {
  TzorHTTPPineconeVectorQuery params = QueryRecord();
  params.SetNamespace(Text("txtVectorsNamespace"));
  DoLog(PineconeCurrent().VectorsQuery(Text("txtVectorsIndexName"), params));
}

void TzorPineconeForm::DeleteCurrent() {
  TzorHTTPPineconeVectorDelete params = DeleteRecord();
  params.SetNamespace(Text("txtVectorsNamespace"));
  DoLog(PineconeCurrent().VectorsDelete(Text("txtVectorsIndexName"), params));
}

void TzorPineconeForm::FetchCurrent() {
  const TzorPineconeStringList ids{Text("txtVectorsFetchVectorId")};
  DoLog(PineconeCurrent().VectorsFetch(Text("txtVectorsIndexName"), ids, Text("txtVectorsNamespace")));
}

void TzorPineconeForm::UpdateCurrent() {
  TzorHTTPPineconeVectorUpdate params = UpdateRecord();
  params.SetNamespace(Text("txtVectorsNamespace"));
  DoLog(PineconeCurrent().VectorsUpdate(Text("txtVectorsIndexName"), params));
}

void TzorPineconeForm::UpsertCurrent() {
  TzorHTTPPineconeVectorUpserts params = UpsertRecord();
  params.SetNamespace(Text("txtVectorsNamespace"));
  DoLog(PineconeCurrent().VectorsUpsert(Text("txtVectorsIndexName"), params));
}

void TzorPineconeForm::btnVectorsListClick() {
  DoLog(PineconeCurrent().VectorsList(Text("txtVectorsIndexName"), Text("txtVectorsListPrefix"), 0, "",
                                      Text("txtVectorsNamespace")));
}

void TzorPineconeForm::btnVectorsDeletePrefixClick() {
  DoLog(PineconeCurrent().VectorsDeleteByPrefix(Text("txtVectorsIndexName"), Text("txtVectorsDeletePrefix"),
                                                Text("txtVectorsNamespace")));
}

void TzorPineconeForm::btnNamespacesListClick() { DoLog(PineconeCurrent().NamespacesList(Text("txtVectorsIndexName"))); }

void TzorPineconeForm::CollectionsListCurrent() { DoLog(PineconeCurrent().CollectionsList()); }

void TzorPineconeForm::CollectionsCreateCurrent() {
  const std::string source = Text("txtCollectionsCreateSource");
  DoLog(PineconeCurrent().CollectionCreate(Text("txtCollectionsCreateName"), source));
}

void TzorPineconeForm::CollectionsDescribeCurrent() {
  DoLog(PineconeCurrent().CollectionDescribe(Text("txtCollectionsDescribeName")));
}

void TzorPineconeForm::CollectionsDeleteCurrent() {
  DoLog(PineconeCurrent().CollectionDelete(Text("txtCollectionsDeleteName")));
}

}  // namespace zor
