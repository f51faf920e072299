// Rendering the body of an upsert of 100 vectors of 1536 dimensions through
// the request records, next to building and serialising the same body with
// Boost.JSON.
#include <benchmark/benchmark.h>

#include <boost/json.hpp>
#include <boost/json/src.hpp>

#include <random>

#include "pinecone/pinecone_records.h"

namespace {

constexpr int kVectors = 100;
constexpr int kDimensions = 1536;

std::vector<std::vector<double>> RandomVectors() {
  std::mt19937_64 generator(7);
  std::uniform_real_distribution<double> value(-1, 1);
  std::vector<std::vector<double>> vectors(kVectors, std::vector<double>(kDimensions));
  for (auto& vector : vectors) {
    for (double& v : vector) v = value(generator);
  }
  return vectors;
}

void BM_RecordsUpsertBody(benchmark::State& state) {
  zor::TzorHTTPPineconeVectorUpserts upserts;
  upserts.SetNamespace("bench");
  int id = 0;
  for (auto& values : RandomVectors()) {
    auto vector = std::make_unique<zor::TzorHTTPPineconeVectorUpsert>();
    vector->SetId("vec-" + std::to_string(id++));
    vector->SetValues(values);
    vector->Metadata() = {"genre=drama"};
    upserts.AddVector(std::move(vector));
  }
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string body = upserts.AsJSON();
    bytes += body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["values/s"] =
      benchmark::Counter(static_cast<double>(kVectors) * kDimensions, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_RecordsUpsertBody)->Unit(benchmark::kMillisecond);

void BM_BoostJsonUpsertBody(benchmark::State& state) {
  const auto vectors = RandomVectors();
  size_t bytes = 0;
  for (auto _ : state) {
    boost::json::array list;
    list.reserve(kVectors);
    int id = 0;
    for (const auto& values : vectors) {
      list.push_back(boost::json::object{{"id", "vec-" + std::to_string(id++)},
                                         {"values", boost::json::array(values.begin(), values.end())},
                                         {"metadata", {{"genre", "drama"}}}});
    }
    const std::string body = boost::json::serialize(boost::json::object{{"vectors", std::move(list)}, {"namespace", "bench"}});
    bytes += body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["values/s"] =
      benchmark::Counter(static_cast<double>(kVectors) * kDimensions, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BoostJsonUpsertBody)->Unit(benchmark::kMillisecond);

}  // namespace
