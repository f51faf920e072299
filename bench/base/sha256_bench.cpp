// Built-in SHA-256 next to OpenSSL's, the provider it stands in for.
#include "base/random.h"
#include "base/sha2_builtin.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <vector>

namespace {

std::vector<uint8_t> Input(size_t size) {
  std::vector<uint8_t> data(size);
  zor::RandomBytes(data.data(), data.size());
  return data;
}

void BM_Sha256Builtin(benchmark::State& state) {
  const auto data = Input(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(zor::BuiltinSHA256(data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Sha256OpenSSL(benchmark::State& state) {
  const auto data = Input(static_cast<size_t>(state.range(0)));
  unsigned char out[32];
  unsigned int len;
  for (auto _ : state) {
    EVP_Digest(data.data(), data.size(), out, &len, EVP_sha256(), nullptr);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_Sha256Builtin)->Arg(64)->Arg(1024)->Arg(64 << 10);
BENCHMARK(BM_Sha256OpenSSL)->Arg(64)->Arg(1024)->Arg(64 << 10);

}  // namespace
