// Header compression of every raw-data story, ours next to libnghttp2's, one
// compression context per story as on a connection. Counters: header sets per
// second and the header octets (names and values) per second.
#include "http2/hpack.h"
#include "tests/http2/hpack_stories.h"

#include <benchmark/benchmark.h>
#include <nghttp2/nghttp2.h>

#include <stdexcept>
#include <vector>

namespace {

using zor::testing::THPackRawStory;

struct Corpus {
  std::vector<THPackRawStory> stories;
  std::vector<std::vector<std::vector<nghttp2_nv>>> fields;  // per story, per set
  std::vector<std::vector<zor::TBytes>> blocks;              // our blocks, per story, per set
  size_t sets = 0, octets = 0;

  Corpus() : stories(zor::testing::LoadRawStories()) {
    for (const THPackRawStory& story : stories) {
      zor::TzorHTTP2_HPACK encoder;
      auto& storyFields = fields.emplace_back();
      auto& storyBlocks = blocks.emplace_back();
      for (const zor::TzorHTTP2_HeaderList& set : story.headerSets) {
        auto& nv = storyFields.emplace_back();
        for (size_t i = 0; i < set.Count(); ++i) {
          const std::string_view name = set.Name(i), value = set.Value(i);
          nv.push_back({reinterpret_cast<uint8_t*>(const_cast<char*>(name.data())),
                        reinterpret_cast<uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(),
                        NGHTTP2_NV_FLAG_NONE});
          octets += name.size() + value.size();
        }
        zor::TzorByteBuffer block;
        encoder.Encode(set, block);
        storyBlocks.emplace_back(block.Data(), block.Data() + block.Size());
        ++sets;
      }
    }
  }
};

const Corpus& TheCorpus() {
  static const Corpus corpus;
  return corpus;
}

void Report(benchmark::State& state, const Corpus& corpus) {
  state.counters["sets/s"] = benchmark::Counter(static_cast<double>(corpus.sets), benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.octets));
}

void BM_EncodeZor(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  zor::TzorByteBuffer out;
  for (auto _ : state) {
    for (const THPackRawStory& story : corpus.stories) {
      zor::TzorHTTP2_HPACK encoder;
      for (const zor::TzorHTTP2_HeaderList& set : story.headerSets) {
        out.Clear();
        encoder.Encode(set, out);
        benchmark::DoNotOptimize(out.Data());
      }
    }
  }
  Report(state, corpus);
}

void BM_EncodeNghttp2(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  std::vector<uint8_t> out(1 << 20);
  for (auto _ : state) {
    for (const auto& story : corpus.fields) {
      nghttp2_hd_deflater* deflater;
      if (nghttp2_hd_deflate_new(&deflater, 4096) != 0) throw std::runtime_error("deflate_new");
      for (const auto& set : story) {
        if (nghttp2_hd_deflate_hd(deflater, out.data(), out.size(), set.data(), set.size()) < 0)
          throw std::runtime_error("deflate_hd");
        benchmark::DoNotOptimize(out.data());
      }
      nghttp2_hd_deflate_del(deflater);
    }
  }
  Report(state, corpus);
}

void BM_DecodeZor(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  zor::TzorHTTP2_HeaderList headers;
  size_t fields = 0;
  for (auto _ : state) {
    for (const auto& story : corpus.blocks) {
      zor::TzorHTTP2_HPACK decoder;
      for (const zor::TBytes& block : story) {
        decoder.Decode(block, headers);
        fields += headers.Count();
      }
    }
  }
  benchmark::DoNotOptimize(fields);
  Report(state, corpus);
}

void BM_DecodeNghttp2(benchmark::State& state) {
  const Corpus& corpus = TheCorpus();
  size_t fields = 0;
  for (auto _ : state) {
    for (const auto& story : corpus.blocks) {
      nghttp2_hd_inflater* inflater;
      if (nghttp2_hd_inflate_new(&inflater) != 0) throw std::runtime_error("inflate_new");
      for (const zor::TBytes& block : story) {
        const uint8_t* in = block.data();
        size_t left = block.size();
        for (;;) {
          nghttp2_nv field;
          int flags = 0;
          const auto used = nghttp2_hd_inflate_hd2(inflater, &field, &flags, in, left, 1);
          if (used < 0) throw std::runtime_error("inflate_hd2");
          in += used;
          left -= static_cast<size_t>(used);
          if (flags & NGHTTP2_HD_INFLATE_EMIT) ++fields;
          if (flags & NGHTTP2_HD_INFLATE_FINAL) {
            nghttp2_hd_inflate_end_headers(inflater);
            break;
          }
          if (!(flags & NGHTTP2_HD_INFLATE_EMIT) && left == 0) break;
        }
      }
      nghttp2_hd_inflate_del(inflater);
    }
  }
  benchmark::DoNotOptimize(fields);
  Report(state, corpus);
}

BENCHMARK(BM_EncodeZor);
BENCHMARK(BM_EncodeNghttp2);
BENCHMARK(BM_DecodeZor);
BENCHMARK(BM_DecodeNghttp2);

}  // namespace
