// Frame parsing with unmasking, and masked frame writing, next to memcpy of the
// same payload bytes (the bandwidth bound of any reader that copies).
#include "base/random.h"
#include "websocket/frame_reader.h"
#include "websocket/frame_writer.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace zor;

// About 1 MiB of frames per iteration (at least one frame).
size_t FrameCount(size_t payload) { return payload >= (1u << 20) ? 1 : (1u << 20) / payload; }

std::string Payload(size_t size) {
  std::string s(size, '\0');
  RandomBytes(reinterpret_cast<uint8_t*>(s.data()), s.size());
  return s;
}

struct Collect : TzorWSFrameSink {
  std::string wire;
  void WriteFrame(const uint8_t* data, size_t size) override { wire.append(reinterpret_cast<const char*>(data), size); }
};

struct Discard : TzorWSFrameSink {
  size_t bytes = 0;
  void WriteFrame(const uint8_t* data, size_t size) override {
    benchmark::DoNotOptimize(data);
    bytes += size;
  }
};

struct Consume : TzorWSFrameEvents {
  size_t bytes = 0;
  void DoMessageComplete(TzorWSMsg& msg) override { bytes += msg.Stream.size(); }
  void DoDisconnect(const std::string&, int) override { std::abort(); }
};

void Report(benchmark::State& state, size_t frames, size_t payload) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * frames));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frames * payload));
}

// The frames a client would send: `frames` masked frames of `payload` bytes.
std::string MaskedWire(size_t payload, size_t frames) {
  Collect client;
  TzorWSFrameWriter writer(client, nullptr);
  writer.SetMasked(true);
  const std::string data = Payload(payload);
  for (size_t i = 0; i < frames; ++i) writer.DoWriteStream(data, 0, stmNone);
  return client.wire;
}

void BM_ParseUnmask(benchmark::State& state) {
  const size_t payload = static_cast<size_t>(state.range(0));
  const size_t frames = FrameCount(payload);
  const std::string wire = MaskedWire(payload, frames);
  Consume events;
  TzorWSFrameReader reader(events, nullptr);
  reader.SetRequireMask(true);
  const auto* bytes = reinterpret_cast<const uint8_t*>(wire.data());
  for (auto _ : state) benchmark::DoNotOptimize(reader.Read(bytes, wire.size()));
  Report(state, frames, payload);
}

// memcpy of the same payload bytes, from the same places of the same wire, into one buffer.
void BM_MemcpyPayload(benchmark::State& state) {
  const size_t payload = static_cast<size_t>(state.range(0));
  const size_t frames = FrameCount(payload);
  const std::string wire = MaskedWire(payload, frames);
  const size_t frameSize = wire.size() / frames;
  const size_t header = frameSize - payload;
  std::string target(payload, '\0');
  for (auto _ : state) {
    for (size_t i = 0; i < frames; ++i) {
      std::memcpy(target.data(), wire.data() + i * frameSize + header, payload);
      benchmark::ClobberMemory();
    }
  }
  Report(state, frames, payload);
}

void BM_WriteMasked(benchmark::State& state) {
  const size_t payload = static_cast<size_t>(state.range(0));
  const size_t frames = FrameCount(payload);
  Discard sink;
  TzorWSFrameWriter writer(sink, nullptr);
  writer.SetMasked(true);
  const std::string data = Payload(payload);
  for (auto _ : state)
    for (size_t i = 0; i < frames; ++i) writer.DoWriteStream(data, 0, stmNone);
  Report(state, frames, payload);
}

#define SIZES ->Arg(16)->Arg(125)->Arg(1024)->Arg(16 << 10)->Arg(1 << 20)
BENCHMARK(BM_ParseUnmask) SIZES;
BENCHMARK(BM_MemcpyPayload) SIZES;
BENCHMARK(BM_WriteMasked) SIZES;

}  // namespace
