// permessage-deflate on 137-byte JSON texts with context takeover, next to
// zlib driven directly the same way (the floor any wrapper sits on).
#include "websocket/extensions.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

using namespace zor;

// 1024 different texts (140 KiB, more than a window) so that no message repeats
// within the window: only the shared JSON structure compresses across messages.
std::vector<std::string> JsonTexts() {
  std::vector<std::string> texts;
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  for (int i = 0; i < 1024; ++i) {
    std::string t = "{\"id\":\"vec-" + std::to_string(next() % 100000) + "\",\"values\":[0." +
                    std::to_string(next() % 100000) + ",0." + std::to_string(next() % 100000) + ",0." +
                    std::to_string(next() % 1000) + "],\"metadata\":{\"genre\":\"drama\",\"year\":" +
                    std::to_string(1950 + next() % 70) + "},\"namespace\":\"books\"";
    t.resize(136, ' ');
    texts.push_back(t + "}");
  }
  return texts;
}

struct Negotiated {
  Negotiated() {
    client.SetMode(appClient);
    server.SetMode(appServer);
    for (auto* set : {&client, &server}) {
      set->PerMessage_Deflate().SetEnabled(true);
      set->DecodeExtensions("permessage-deflate; client_max_window_bits");
    }
    server.DecodeHeader(0xC1);
  }
  TzorWSExtensions client, server;
};

void BM_PermessageDeflateCompress(benchmark::State& state) {
  const auto texts = JsonTexts();
  Negotiated n;
  std::string message;
  size_t i = 0, wire = 0;
  for (auto _ : state) {
    message = texts[i++ % texts.size()];
    n.client.WriteStream(message);
    wire += message.size();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["wire_bytes_per_message"] = static_cast<double>(wire) / static_cast<double>(state.iterations());
}

void BM_PermessageDeflateRoundTrip(benchmark::State& state) {
  const auto texts = JsonTexts();
  Negotiated n;
  std::string message;
  size_t i = 0;
  for (auto _ : state) {
    message = texts[i++ % texts.size()];
    n.client.WriteStream(message);
    n.server.ReadStream(message);
  }
  if (message != texts[(i - 1) % texts.size()]) state.SkipWithError("round trip changed the message");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_ZlibSyncFlushCompress(benchmark::State& state) {
  const auto texts = JsonTexts();
  z_stream zs{};
  deflateInit2(&zs, 1, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  unsigned char out[1024];
  size_t i = 0;
  for (auto _ : state) {
    const std::string& t = texts[i++ % texts.size()];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(t.data()));
    zs.avail_in = static_cast<uInt>(t.size());
    zs.next_out = out;
    zs.avail_out = sizeof out;
    deflate(&zs, Z_SYNC_FLUSH);
    benchmark::DoNotOptimize(out);
  }
  deflateEnd(&zs);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// The older way of keeping context: a fresh stream per message that loads the
// last 64 KiB of plaintext as a preset dictionary and ends with a final block.
void BM_PresetDictionaryPerMessage(benchmark::State& state) {
  const auto texts = JsonTexts();
  std::string history;
  unsigned char out[1024];
  size_t i = 0;
  for (auto _ : state) {
    const std::string& t = texts[i++ % texts.size()];
    z_stream zs{};
    deflateInit2(&zs, 1, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    if (!history.empty())
      deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(history.data()), static_cast<uInt>(history.size()));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(t.data()));
    zs.avail_in = static_cast<uInt>(t.size());
    zs.next_out = out;
    zs.avail_out = sizeof out;
    deflate(&zs, Z_SYNC_FLUSH);
    deflate(&zs, Z_FINISH);
    deflateEnd(&zs);
    history += t;
    if (history.size() > 65536) history.erase(0, history.size() - 65536);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

BENCHMARK(BM_PermessageDeflateCompress);
BENCHMARK(BM_PermessageDeflateRoundTrip);
BENCHMARK(BM_ZlibSyncFlushCompress);
BENCHMARK(BM_PresetDictionaryPerMessage);

}  // namespace
