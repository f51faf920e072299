// Creates an index, upserts three vectors, asks for the two nearest to a
// query vector and deletes the index again, printing each answer.
//
// It talks to the local service of the client package (zorpinecone-local,
// run as `zorpinecone-local --port 8443 --api-key demo`):
//   pinecone_query 8443 demo
// The component keeps the service's real host names; connect-to sends them to
// 127.0.0.1 instead. For the service itself, drop the ConnectTo line, set your
// environment and project id, and wait until a new index is ready.
#include <zor/pinecone/pinecone_api.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>

namespace {

std::unique_ptr<zor::TzorHTTPPineconeVectorUpsert> Vector(const char* id, zor::TzorArrayOfDouble values,
                                                          zor::TzorPineconeStringList metadata) {
  auto vector = std::make_unique<zor::TzorHTTPPineconeVectorUpsert>();
  vector->SetId(id);
  vector->SetValues(std::move(values));
  vector->SetMetadata(std::move(metadata));
  return vector;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: pinecone_query LOCAL-PORT API-KEY\n";
    return 2;
  }
  const auto port = static_cast<uint16_t>(std::atoi(argv[1]));
  const std::string project_id = "local";  // the local service's project

  zor::TzorHTTP_API_Pinecone pinecone;
  pinecone.PineconeOptions().SetApiKey(argv[2]);
  pinecone.PineconeOptions().SetEnvironment("offline");
  pinecone.ConnectTo().push_back({"", 443, "127.0.0.1", port});
  try {
    zor::TzorHTTPPineconeIndexCreate create;
    create.SetName("films");
    create.SetDimension(3);
    create.SetMetric("cosine");
    pinecone.IndexCreate(create);
    std::cout << "indexes: " << pinecone.IndexesList() << "\n";

    // Each upsert record owns its vectors.
    zor::TzorHTTPPineconeVectorUpserts upserts;
    upserts.AddVector(Vector("drama", {1, 0, 0}, {"genre=drama"}));
    upserts.AddVector(Vector("comedy", {0, 1, 0}, {"genre=comedy"}));
    upserts.AddVector(Vector("mostly-comedy", {0.2, 1, 0.1}, {"genre=comedy"}));
    std::cout << "upsert: " << pinecone.VectorsUpsert("films", project_id, upserts) << "\n";

    zor::TzorHTTPPineconeVectorQuery query;
    query.SetVector({0.1, 0.9, 0});
    query.SetTopK(2);
    query.SetIncludeMetadata(true);
    std::cout << "query: " << pinecone.VectorsQuery("films", project_id, query) << "\n";

    pinecone.IndexDelete("films");
    std::cout << "indexes: " << pinecone.IndexesList() << "\n";
  } catch (const std::exception& e) {
    // An error status arrives as its status line, ". " and the service's answer.
    std::cerr << "pinecone_query: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
