// Frame parsing with unmasking, and masked frame writing, next to memcpy of the
// same payload bytes (the bandwidth bound of any codec that copies). Each
// iteration runs the codec over about 1 MiB of payload, then memcpy over the
// same payloads, so both share the machine's load of that moment; the counters
// compare them:
//   ns_per_frame           codec, thread CPU time per frame
//   memcpy_ns_per_frame    memcpy of one frame's payload, same clock
//   overhead_ns_per_frame  the difference: what framing costs beyond copying
//   memcpy_share           codec bandwidth as a fraction of memcpy's
// Time and CPU columns are the codec's alone (memcpy runs with timing paused).
#include "base/random.h"
#include "websocket/frame_reader.h"
#include "websocket/frame_writer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

namespace {

using namespace zor;

// What one read of the transport hands to the reader.
constexpr size_t kReadSize = 16384;
constexpr size_t kPayloadPerIteration = 1 << 20;

// About 1 MiB of frames per iteration (at least one frame).
size_t FrameCount(size_t payload) { return std::max<size_t>(1, kPayloadPerIteration / payload); }

std::string Payload(size_t size) {
  std::string s(size, '\0');
  RandomBytes(reinterpret_cast<uint8_t*>(s.data()), s.size());
  return s;
}

// CPU time of this thread: on a shared machine wall time would also count the
// turns of other processes.
double ThreadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Collect : TzorWSFrameSink {
  std::string wire;
  void WriteFrame(const uint8_t* data, size_t size) override { wire.append(reinterpret_cast<const char*>(data), size); }
};

struct Discard : TzorWSFrameSink {
  void WriteFrame(const uint8_t* data, size_t) override { benchmark::DoNotOptimize(data); }
};

struct Consume : TzorWSFrameEvents {
  size_t bytes = 0;
  void DoMessageComplete(TzorWSMsg& msg) override { bytes += msg.Stream.size(); }
  void DoDisconnect(const std::string&, int) override { std::abort(); }
};

// The frames a client would send: `frames` masked frames of `payload` bytes.
std::string MaskedWire(const std::string& payload, size_t frames) {
  Collect client;
  TzorWSFrameWriter writer(client, nullptr);
  writer.SetMasked(true);
  for (size_t i = 0; i < frames; ++i) writer.DoWriteStream(payload, 0, stmNone);
  return client.wire;
}

// Runs `codec` (one pass over `frames` frames) as the timed body, then memcpy
// of the `payload`-byte pieces that `source(i)` points at, and sets the counters.
template <class Codec, class Source>
void VersusMemcpy(benchmark::State& state, size_t frames, size_t payload, Codec codec, Source source) {
  std::string target(payload, '\0');
  double codecSeconds = 0, copySeconds = 0;
  for (auto _ : state) {
    const double start = ThreadSeconds();
    codec();
    const double codecDone = ThreadSeconds();
    state.PauseTiming();
    for (size_t i = 0; i < frames; ++i) {
      std::memcpy(target.data(), source(i), payload);
      benchmark::ClobberMemory();
    }
    copySeconds += ThreadSeconds() - codecDone;
    codecSeconds += codecDone - start;
    state.ResumeTiming();
  }
  const double count = static_cast<double>(state.iterations()) * static_cast<double>(frames);
  state.SetItemsProcessed(static_cast<int64_t>(count));
  state.SetBytesProcessed(static_cast<int64_t>(count) * static_cast<int64_t>(payload));
  state.counters["ns_per_frame"] = codecSeconds * 1e9 / count;
  state.counters["memcpy_ns_per_frame"] = copySeconds * 1e9 / count;
  state.counters["overhead_ns_per_frame"] = (codecSeconds - copySeconds) * 1e9 / count;
  state.counters["memcpy_share"] = copySeconds / codecSeconds;
}

// The reader is fed as a connection feeds it: reads of up to 16 KiB holding
// many frames, the last of them cut off where the read ends. The wire is what
// one read holds (at least one frame), read over and over: received bytes are
// parsed while the copy into the read buffer still has them in cache.
void BM_ParseUnmask(benchmark::State& state) {
  const size_t payload = static_cast<size_t>(state.range(0));
  const size_t perWire = std::max<size_t>(1, kReadSize / (payload + 6));
  const size_t passes = std::max<size_t>(1, kPayloadPerIteration / (perWire * payload));
  const std::string wire = MaskedWire(Payload(payload), perWire);
  const auto* bytes = reinterpret_cast<const uint8_t*>(wire.data());
  const size_t frameSize = wire.size() / perWire;
  Consume events;
  TzorWSFrameReader reader(events, nullptr);
  reader.SetRequireMask(true);
  VersusMemcpy(
      state, perWire * passes, payload,
      [&] {
        for (size_t pass = 0; pass < passes; ++pass)
          for (size_t at = 0; at < wire.size(); at += kReadSize)
            benchmark::DoNotOptimize(reader.Read(bytes + at, std::min(kReadSize, wire.size() - at)));
      },
      [&](size_t i) { return bytes + (i % perWire) * frameSize + (frameSize - payload); });
  if (events.bytes != state.iterations() * perWire * passes * payload) state.SkipWithError("frames were lost");
}

void BM_WriteMasked(benchmark::State& state) {
  const size_t payload = static_cast<size_t>(state.range(0));
  const size_t frames = FrameCount(payload);
  const std::string data = Payload(payload);
  Discard sink;
  TzorWSFrameWriter writer(sink, nullptr);
  writer.SetMasked(true);
  VersusMemcpy(
      state, frames, payload,
      [&] {
        for (size_t i = 0; i < frames; ++i) writer.DoWriteStream(data, 0, stmNone);
      },
      [&](size_t) { return data.data(); });
}

#define SIZES ->Arg(16)->Arg(125)->Arg(1024)->Arg(16 << 10)->Arg(1 << 20)
BENCHMARK(BM_ParseUnmask) SIZES;
BENCHMARK(BM_WriteMasked) SIZES;

}  // namespace
