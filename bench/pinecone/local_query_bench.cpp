// The local service answering a top-10 query over 10,000 vectors of 1536
// dimensions (request parsed, exact scan, answer rendered), next to the bare
// scan a user would write: one flat array, cosine scores, partial sort.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tools/pinecone-local/local_routes.h"

namespace {

namespace local = zor::pinecone_local;

constexpr int kVectors = 10000;
constexpr int kDimensions = 1536;
constexpr size_t kTopK = 10;

std::vector<double> RandomValues(std::mt19937_64& generator, size_t count) {
  std::uniform_real_distribution<double> value(-1, 1);
  std::vector<double> values(count);
  for (double& v : values) v = value(generator);
  return values;
}

std::string NumberList(const std::vector<double>& values) {
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) text += ',';
    text += std::to_string(values[i]);
  }
  return text;
}

void BM_LocalServiceTop10(benchmark::State& state) {
  local::Service service("key");
  const std::string controller = "controller.bench.pinecone.io";
  const std::string data = "bench-local.svc.bench.pinecone.io";
  service.Handle({"POST", controller, "/databases", true, "key",
                  R"({"name":"bench","dimension":)" + std::to_string(kDimensions) + "}", ""});
  std::mt19937_64 generator(11);
  for (int batch = 0; batch < kVectors / 500; ++batch) {
    std::string body = R"({"vectors":[)";
    for (int i = 0; i < 500; ++i) {
      if (i) body += ',';
      body += R"({"id":"v)" + std::to_string(batch * 500 + i) + R"(","values":[)" +
              NumberList(RandomValues(generator, kDimensions)) + "]}";
    }
    body += "]}";
    if (service.Handle({"POST", data, "/vectors/upsert", true, "key", body, ""}).status != 200) {
      state.SkipWithError("upsert failed");
      return;
    }
  }
  const std::string query =
      R"({"topK":10,"vector":[)" + NumberList(RandomValues(generator, kDimensions)) + "]}";
  for (auto _ : state) {
    const local::Reply reply = service.Handle({"POST", data, "/query", true, "key", query, ""});
    benchmark::DoNotOptimize(reply.body.data());
  }
  state.counters["vectors/s"] = benchmark::Counter(kVectors, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LocalServiceTop10)->Unit(benchmark::kMillisecond);

void BM_FlatArrayScanTop10(benchmark::State& state) {
  std::mt19937_64 generator(11);
  const std::vector<double> all = RandomValues(generator, static_cast<size_t>(kVectors) * kDimensions);
  std::vector<double> norms(kVectors);
  for (int v = 0; v < kVectors; ++v) {
    double sum = 0;
    for (int d = 0; d < kDimensions; ++d) sum += all[v * kDimensions + d] * all[v * kDimensions + d];
    norms[v] = std::sqrt(sum);
  }
  const std::vector<double> query = RandomValues(generator, kDimensions);
  double query_norm = 0;
  for (double q : query) query_norm += q * q;
  query_norm = std::sqrt(query_norm);
  std::vector<std::pair<double, int>> scores(kVectors);
  for (auto _ : state) {
    for (int v = 0; v < kVectors; ++v) {
      double dot = 0;
      for (int d = 0; d < kDimensions; ++d) dot += query[d] * all[v * kDimensions + d];
      scores[v] = {dot / (query_norm * norms[v]), v};
    }
    std::partial_sort(scores.begin(), scores.begin() + kTopK, scores.end(), std::greater<>());
    benchmark::DoNotOptimize(scores.data());
  }
  state.counters["vectors/s"] = benchmark::Counter(kVectors, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FlatArrayScanTop10)->Unit(benchmark::kMillisecond);

}  // namespace
