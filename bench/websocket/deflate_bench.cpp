// permessage-deflate on 137-byte JSON texts with context takeover, next to
// zlib driven directly the same way (the floor any wrapper sits on).
#include "websocket/extensions.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

using namespace zor;

std::vector<std::string> JsonTexts() {
  std::vector<std::string> texts;
  for (int i = 0; i < 64; ++i) {
    std::string t = "{\"id\":\"vec-" + std::to_string(10000 + i) + "\",\"values\":[0." + std::to_string(1000 + i * 37) +
                    ",0." + std::to_string(2000 + i * 91) + ",0.5],\"metadata\":{\"genre\":\"drama\",\"year\":" +
                    std::to_string(1990 + i % 30) + "},\"namespace\":\"books\"";
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

BENCHMARK(BM_PermessageDeflateCompress);
BENCHMARK(BM_PermessageDeflateRoundTrip);
BENCHMARK(BM_ZlibSyncFlushCompress);

}  // namespace
