// Request bodies and number arrays: the JSON library next to RapidJSON and
// nlohmann-json doing the same work. Bytes are those of the text written or
// read; compare times per iteration for the ratios (RapidJSON and nlohmann
// write the shortest round-trip digits, up to 17, this library 15).
//
// Upsert body: 100 vectors of 1536 doubles in [-1, 1] with ids, the way the
// Pinecone layer joins it: {"vectors": [{"id":"...","values":[...]},...]}.
#include <benchmark/benchmark.h>

#include <charconv>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "json/json.h"

namespace {

constexpr int kVectors = 100;
constexpr int kDimensions = 1536;

struct Vector {
  std::string id;
  std::vector<double> values;
};

const std::vector<Vector>& Embeddings() {
  static const std::vector<Vector> vectors = [] {
    std::mt19937_64 random(1536);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<Vector> made(kVectors);
    for (int i = 0; i < kVectors; ++i) {
      made[i].id = "vec-" + std::to_string(i);
      for (int j = 0; j < kDimensions; ++j) made[i].values.push_back(unit(random));
    }
    return made;
  }();
  return vectors;
}

// One vector as a document, elements named by their index.
void BuildVector(zor::TzorJSON& document, const Vector& vector) {
  document.AddPair("id", vector.id);
  zor::IzorJSON values = document.AddArray("values", "")->JSONObject();
  char name[12];
  for (size_t j = 0; j < vector.values.size(); ++j) {
    values->AddPair(std::string_view(name, std::to_chars(name, name + sizeof name, j).ptr), vector.values[j]);
  }
}

void BM_UpsertBody_zor_BuildAndRender(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    std::string body = "{\"vectors\": [";
    for (const Vector& vector : Embeddings()) {
      if (&vector != &Embeddings().front()) body += ',';
      zor::TzorJSON document;
      BuildVector(document, vector);
      document.AppendText(body);
    }
    body += "]}";
    bytes = body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_UpsertBody_zor_RenderBuilt(benchmark::State& state) {
  std::vector<std::unique_ptr<zor::TzorJSON>> documents;
  for (const Vector& vector : Embeddings()) {
    documents.push_back(std::make_unique<zor::TzorJSON>());
    BuildVector(*documents.back(), vector);
  }
  size_t bytes = 0;
  for (auto _ : state) {
    std::string body = "{\"vectors\": [";
    for (const auto& document : documents) {
      if (&document != &documents.front()) body += ',';
      document->AppendText(body);
    }
    body += "]}";
    bytes = body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_UpsertBody_RapidJSON_Writer(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("vectors");
    writer.StartArray();
    for (const Vector& vector : Embeddings()) {
      writer.StartObject();
      writer.Key("id");
      writer.String(vector.id.data(), static_cast<rapidjson::SizeType>(vector.id.size()));
      writer.Key("values");
      writer.StartArray();
      for (double v : vector.values) writer.Double(v);
      writer.EndArray();
      writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    bytes = buffer.GetSize();
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

nlohmann::json NlohmannUpsert() {
  nlohmann::json vectors = nlohmann::json::array();
  for (const Vector& vector : Embeddings()) vectors.push_back({{"id", vector.id}, {"values", vector.values}});
  return {{"vectors", std::move(vectors)}};
}

void BM_UpsertBody_nlohmann_BuildAndDump(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    std::string body = NlohmannUpsert().dump();
    bytes = body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_UpsertBody_nlohmann_DumpBuilt(benchmark::State& state) {
  const nlohmann::json built = NlohmannUpsert();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string body = built.dump();
    bytes = body.size();
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// "[v0, v1, ...]": one vector's numbers with a space after each comma, the
// way a service or a user writes them.
const std::string& NumberArrayText() {
  static const std::string text = [] {
    zor::TzorJSON document;
    document.SetIsArray(true);
    BuildVector(document, Embeddings().front());
    std::string numbers = document.Node("values")->ValueText();
    std::string spaced;
    for (char c : numbers) {
      spaced += c;
      if (c == ',') spaced += ' ';
    }
    return spaced;
  }();
  return text;
}

void BM_ReadArray_zor(benchmark::State& state) {
  const std::string& text = NumberArrayText();
  for (auto _ : state) {
    zor::TzorJSON document;
    document.Read(text);
    benchmark::DoNotOptimize(document.Count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ReadArray_RapidJSON_DOM(benchmark::State& state) {
  const std::string& text = NumberArrayText();
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(text.c_str(), text.size());
    benchmark::DoNotOptimize(document.Size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ReadArray_nlohmann(benchmark::State& state) {
  const std::string& text = NumberArrayText();
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(document.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_UpsertBody_zor_BuildAndRender)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpsertBody_zor_RenderBuilt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpsertBody_RapidJSON_Writer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpsertBody_nlohmann_BuildAndDump)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpsertBody_nlohmann_DumpBuilt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadArray_zor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadArray_RapidJSON_DOM)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadArray_nlohmann)->Unit(benchmark::kMicrosecond);

}  // namespace
