#pragma once
// What the benchmarks of our server next to a peer server share: a load
// client run to its end, and the counters that compare the two runs.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zor::bench {

// What a program printed on its standard output, once it ended.
inline std::string ProgramOutput(std::vector<std::string> argv) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    throw std::runtime_error("cannot start " + argv[0] + " (scripts/install-deps)");
  }
  std::string out;
  char block[4096];
  for (ssize_t n; (n = ::read(fds[0], block, sizeof block)) > 0;) out.append(block, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return out;
}

// One server's run under the load client.
struct Outcome {
  double requestsPerSecond = 0;
  double cpuMicrosecondsPerRequest = 0;
};

// The machine's load average over the last minute: numbers of runs are only
// comparable when it is low.
inline double LoadAverage() {
  std::ifstream in("/proc/loadavg");
  double one = 0;
  in >> one;
  return one;
}

// Both servers' rates and CPU time per request, ours as a ratio of the
// peer's, and the load when the iteration ended.
inline void Report(benchmark::State& state, const std::string& peer, const Outcome& ours, const Outcome& theirs) {
  state.counters["zor_req_per_s"] = ours.requestsPerSecond;
  state.counters[peer + "_req_per_s"] = theirs.requestsPerSecond;
  state.counters["zor_cpu_us_per_req"] = ours.cpuMicrosecondsPerRequest;
  state.counters[peer + "_cpu_us_per_req"] = theirs.cpuMicrosecondsPerRequest;
  state.counters["ratio_vs_" + peer] = ours.requestsPerSecond / theirs.requestsPerSecond;
  state.counters["load_1min"] = LoadAverage();
}

}  // namespace zor::bench
