#include "pinecone/pinecone_records.h"

#include <gtest/gtest.h>

#include <clocale>

#include "base/exceptions.h"

namespace zor {
namespace {

TEST(PineconeRecords, QueryBodies) {
  TzorHTTPPineconeVectorQuery plain;
  plain.SetVector({0.1, 0.2});
  EXPECT_EQ(plain.AsJSON(), R"({"topK":1,"vector":[0.1,0.2]})");

  TzorHTTPPineconeVectorQuery by_id;
  by_id.SetNamespace("ns");
  by_id.SetTopK(5);
  by_id.SetIncludeMetadata(true);
  by_id.SetId("a");
  EXPECT_EQ(by_id.AsJSON(), R"({"namespace":"ns","topK":5,"includeMetadata":true,"id":"a"})");

  TzorHTTPPineconeVectorQuery full;
  full.SetNamespace("ns");
  full.SetTopK(10);
  full.Filter() = {"genre=drama", R"(year={"$gte":2020})"};
  full.SetIncludeValues(true);
  full.SetIncludeMetadata(true);
  full.SetVector({1, -2.5, 1e-5});
  full.SparseVector().SetIndices({1, 5});
  full.SparseVector().SetValues({0.5, 0.25});
  full.SetId("x");
  EXPECT_EQ(full.AsJSON(),
            R"({"namespace":"ns","topK":10,"filter":{"genre":"drama","year":{"$gte":2020}},"includeValues":true,)"
            R"("includeMetadata":true,"vector":[1,-2.5,1E-5],"sparseVector":{"indices":[1,5],"values":[0.5,0.25]},"id":"x"})");

  // A sparse part without indices is left out even when it has values.
  TzorHTTPPineconeVectorQuery values_only;
  values_only.SparseVector().SetValues({1});
  EXPECT_EQ(values_only.AsJSON(), R"({"topK":1})");
}

TEST(PineconeRecords, DeleteUpdateAndIndexCreateBodies) {
  TzorHTTPPineconeVectorDelete del;
  EXPECT_EQ(del.AsJSON(), "{}");
  del.Ids() = {"a"};
  EXPECT_EQ(del.AsJSON(), R"({"ids":["a"]})");
  TzorHTTPPineconeVectorDelete all;
  all.SetDeleteAll(true);
  EXPECT_EQ(all.AsJSON(), R"({"deleteAll":true})");
  TzorHTTPPineconeVectorDelete everything;
  everything.SetIds({"a", "b"});
  everything.SetDeleteAll(true);
  everything.SetNamespace("ns");
  everything.SetFilter({"genre=drama"});
  EXPECT_EQ(everything.AsJSON(), R"({"ids":["a","b"],"deleteAll":true,"namespace":"ns","filter":{"genre":"drama"}})");

  TzorHTTPPineconeVectorUpdate update;
  update.SetId("a");
  update.SetValues({1});
  EXPECT_EQ(update.AsJSON(), R"({"id":"a","values":[1]})");
  update.SparseValues().SetIndices({1, 5});
  update.SetMetadata() = {"genre=drama"};
  update.SetNamespace("ns");
  EXPECT_EQ(update.AsJSON(),
            R"({"id":"a","values":[1],"sparseValues":{"indices":[1,5],"values":[]},"setMetadata":{"genre":"drama"},"namespace":"ns"})");

  TzorHTTPPineconeIndexCreate create;
  EXPECT_EQ(create.AsJSON(), R"({"name":"","dimension":0})");
  create.SetName("zorindex");
  create.SetDimension(1536);
  EXPECT_EQ(create.AsJSON(), R"({"name":"zorindex","dimension":1536})");
  create.SetMetric("cosine");
  create.SetPods(1);
  create.SetReplicas(2);
  create.SetPodType("p1.x1");
  create.MetadataConfig() = {R"(indexed=["genre"])"};
  create.SetSourceCollection("col");
  EXPECT_EQ(create.AsJSON(),
            R"({"name":"zorindex","dimension":1536,"metric":"cosine","pods":1,"replicas":2,"pod_type":"p1.x1",)"
            R"("metadata_config":{"indexed":["genre"]},"source_collection":"col"})");
}

TEST(PineconeRecords, UpsertAndUpsertList) {
  TzorHTTPPineconeVectorUpsert fresh;
  EXPECT_EQ(fresh.AsJSON(), R"({"id":"","values":[]})");

  auto upsert = std::make_unique<TzorHTTPPineconeVectorUpsert>();
  upsert->SetId("a");
  EXPECT_EQ(upsert->AsJSON(), R"({"id":"a","values":[]})");

  TzorHTTPPineconeVectorUpserts list;
  EXPECT_EQ(list.AsJSON(), R"({"vectors": []})");
  list.AddVector(std::move(upsert));
  list.SetNamespace("ns");
  EXPECT_EQ(list.AsJSON(), R"({"vectors": [{"id":"a","values":[]}],"namespace": "ns"})");

  auto second = std::make_unique<TzorHTTPPineconeVectorUpsert>();
  second->SetId("b");
  second->SetValues({0.1, 0.2});
  second->Metadata() = {"genre=drama", "noequals"};
  list.AddVector(std::move(second));
  EXPECT_EQ(list.AsJSON(), R"({"vectors": [{"id":"a","values":[]},{"id":"b","values":[0.1,0.2],)"
                           R"("metadata":{"genre":"drama","noequals":""}}],"namespace": "ns"})");
  list.Clear();
  EXPECT_TRUE(list.Vectors().empty());
  EXPECT_EQ(list.AsJSON(), R"({"vectors": [],"namespace": "ns"})");
}

TEST(PineconeRecords, StringsThatWouldBreakTheBodyAreEscaped) {
  TzorHTTPPineconeVectorUpdate update;
  update.SetId(R"(say "hi")");
  update.SetMetadata() = {"path=C:\\dir", "tab\there=line\nbreak\x01", "quote\"name=ü"};
  update.SetNamespace("n\"s");
  EXPECT_EQ(update.AsJSON(), R"({"id":"say \"hi\"","setMetadata":{"path":"C:\\dir","tab\there":"line\nbreak\u0001",)"
                             R"("quote\"name":"ü"},"namespace":"n\"s"})");

  // A value that starts with a quote is still quoted.
  TzorHTTPPineconeVectorQuery query;
  query.SetId("\"a");
  EXPECT_EQ(query.AsJSON(), R"({"topK":1,"id":"\"a"})");

  // JSON written by the user stays raw.
  query.SetId("");
  query.Filter() = {R"(genre={"$in":["a\"b","c"]})"};
  EXPECT_EQ(query.AsJSON(), R"({"topK":1,"filter":{"genre":{"$in":["a\"b","c"]}}})");

  TzorHTTPPineconeVectorUpserts list;
  list.SetNamespace("a\\b");
  EXPECT_EQ(list.AsJSON(), R"({"vectors": [],"namespace": "a\\b"})");
}

TEST(PineconeRecords, TextToArrayOfDouble) {
  EXPECT_EQ(TextToArrayOfDouble("[0.1, 0.2, 3]"), (TzorArrayOfDouble{0.1, 0.2, 3.0}));
  EXPECT_TRUE(TextToArrayOfDouble("").empty());
  EXPECT_TRUE(TextToArrayOfDouble("[]").empty());
  EXPECT_EQ(TextToArrayOfDouble(R"({"a":1.5,"b":-2e3})"), (TzorArrayOfDouble{1.5, -2000}));
  EXPECT_EQ(TextToArrayOfDouble(R"([+1, 007, "2.5", "-.5", "+1e2"])"), (TzorArrayOfDouble{1, 7, 2.5, -0.5, 100}));
  for (const char* bad : {R"([1, "x"])", "[true]", "[null]", "[[1]]", R"(["inf"])", R"(["1,5"])", R"([""])",
                          R"(["+-1"])", R"(["-+1"])", R"(["--1"])", R"(["-"])", R"(["+.e1"])"}) {
    EXPECT_THROW(TextToArrayOfDouble(bad), EConvertError) << bad;
  }
  try {
    TextToArrayOfDouble(R"([1, "x"])");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid floating point value");
  }
}

TEST(PineconeRecords, NumbersIgnoreADecimalCommaLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8")) {
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
  EXPECT_EQ(TextToArrayOfDouble("[1.5]"), (TzorArrayOfDouble{1.5}));
  TzorHTTPPineconeVectorUpdate update;
  update.SetValues({1.5, -0.25});
  EXPECT_EQ(update.AsJSON(), R"({"values":[1.5,-0.25]})");
  std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace zor
