// Echo load on loopback: 100 WebSocket connections each keeping N 512-byte
// binary messages in flight (N = 1: send, wait for the echo, send the next;
// N = 16: pipelined, so the load client costs less per message and a server's
// capacity shows), against our server and, in the same iteration, Boost.Beast's
// and websocketpp's echo servers. Each server is a child process on two worker
// threads; the load client is zor-ws-load's, the same for all three.
// Counters per server: messages per second and the server's CPU time per
// message (from /proc/<pid>/stat), our rate as a ratio of each peer's, and the
// machine's load.
// IdleMemory: the resident memory a server grows by per open idle WebSocket
// connection (10,000 of them, handshake done), for the same three servers.
#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/server/peer_comparison.h"
#include "bench/server/server_process.h"
#include "tools/ws-load/ws_load.h"

namespace {

using zor::bench::CPUSeconds;
using zor::bench::Here;
using zor::bench::ServerProcess;

constexpr int kSecondsPerServer = 3;
const char* kThreads = "2";

struct Outcome {
  double messagesPerSecond = 0;
  double cpuMicrosecondsPerMessage = 0;
};

Outcome Load(std::vector<std::string> server, int inFlight) {
  ServerProcess process(server);
  zor::TzorWSLoadOptions options;
  options.Port = process.Port();
  options.Connections = 100;
  options.MessageSize = 512;
  options.Seconds = kSecondsPerServer;
  options.InFlight = inFlight;
  const double before = CPUSeconds(process.Pid());
  const zor::TzorWSLoadResult result = zor::RunWSLoad(options);
  const double cpu = CPUSeconds(process.Pid()) - before;
  if (result.Failures != 0 || result.Messages == 0) throw std::runtime_error("echo load failed on " + server[0]);
  return {result.MessagesPerSecond(), result.Messages ? cpu * 1e6 / static_cast<double>(result.Messages) : 0};
}

// state.range(0): the messages in flight per connection.
void BM_EchoLoad100x512(benchmark::State& state) {
  const auto here = Here();
  const std::string zor = zor::bench::ZorServerProgram();
  const int inFlight = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const Outcome ours = Load({zor, "--port", "0", "--threads", kThreads}, inFlight);
    const Outcome beast = Load({(here / "peer_beast_echo").string(), kThreads}, inFlight);
    const Outcome wspp = Load({(here / "peer_wspp_echo").string(), kThreads}, inFlight);
    state.counters["zor_msgs_per_s"] = ours.messagesPerSecond;
    state.counters["beast_msgs_per_s"] = beast.messagesPerSecond;
    state.counters["wspp_msgs_per_s"] = wspp.messagesPerSecond;
    state.counters["zor_cpu_us_per_msg"] = ours.cpuMicrosecondsPerMessage;
    state.counters["beast_cpu_us_per_msg"] = beast.cpuMicrosecondsPerMessage;
    state.counters["wspp_cpu_us_per_msg"] = wspp.cpuMicrosecondsPerMessage;
    state.counters["ratio_vs_beast"] = ours.messagesPerSecond / beast.messagesPerSecond;
    state.counters["ratio_vs_wspp"] = ours.messagesPerSecond / wspp.messagesPerSecond;
    state.counters["load_1min"] = zor::bench::LoadAverage();
  }
}
constexpr int kIdleConnections = 10000;

double IdleBytesPerConnection(std::vector<std::string> server) {
  ServerProcess process(std::move(server));
  zor::TzorWSLoadOptions options;
  options.Port = process.Port();
  options.Connections = kIdleConnections;
  const size_t before = process.ResidentBytes();
  zor::TzorWSIdleConnections idle(options);
  if (idle.WaitOpen() != kIdleConnections) throw std::runtime_error("idle connections failed on " + server[0]);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the last answers are written
  const size_t after = process.ResidentBytes();
  return static_cast<double>(after - before) / kIdleConnections;
}

void BM_IdleMemory10000(benchmark::State& state) {
  const auto here = Here();
  const std::string zor = zor::bench::ZorServerProgram();
  for (auto _ : state) {
    state.counters["zor_bytes_per_conn"] = IdleBytesPerConnection({zor, "--port", "0", "--threads", kThreads});
    state.counters["beast_bytes_per_conn"] = IdleBytesPerConnection({(here / "peer_beast_echo").string(), kThreads});
    state.counters["wspp_bytes_per_conn"] = IdleBytesPerConnection({(here / "peer_wspp_echo").string(), kThreads});
  }
}
BENCHMARK(BM_IdleMemory10000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK(BM_EchoLoad100x512)->ArgName("in_flight")->Arg(1)->Arg(16)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
