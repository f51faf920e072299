// Echo load on loopback: 100 WebSocket connections each sending a 512-byte
// binary message and waiting for its echo, against our server and, in the
// same iteration, Boost.Beast's and websocketpp's echo servers. Each server is
// a child process on two worker threads; the load client is zor-ws-load's.
// Counters per server: messages per second and the server's CPU time per
// message (from /proc/<pid>/stat), and our rate as a ratio of each peer's.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/ws-load/ws_load.h"

extern char** environ;

namespace {

constexpr int kSecondsPerServer = 3;
const char* kThreads = "2";

std::filesystem::path Here() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

// A server program that prints its port on the first line of its output.
class ServerProcess {
 public:
  explicit ServerProcess(std::vector<std::string> argv) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, args.data(), environ) != 0)
      throw std::runtime_error("cannot start " + argv[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string line;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(fds[0]);
    const size_t digits = line.find_last_not_of("0123456789");
    port_ = static_cast<uint16_t>(std::stoi(line.substr(digits == std::string::npos ? 0 : digits + 1)));
  }
  ~ServerProcess() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  uint16_t Port() const { return port_; }
  // User and system time so far, in seconds.
  double CPUSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14) utime = std::stoll(field);
      if (i == 15) stime = std::stoll(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  }

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

struct Outcome {
  double messagesPerSecond = 0;
  double cpuMicrosecondsPerMessage = 0;
};

Outcome Load(std::vector<std::string> server) {
  ServerProcess process(std::move(server));
  zor::TzorWSLoadOptions options;
  options.Port = process.Port();
  options.Connections = 100;
  options.MessageSize = 512;
  options.Seconds = kSecondsPerServer;
  const double before = process.CPUSeconds();
  const zor::TzorWSLoadResult result = zor::RunWSLoad(options);
  const double cpu = process.CPUSeconds() - before;
  if (result.Failures != 0 || result.Messages == 0) throw std::runtime_error("echo load failed on " + server[0]);
  return {result.MessagesPerSecond(), result.Messages ? cpu * 1e6 / static_cast<double>(result.Messages) : 0};
}

void BM_EchoLoad100x512(benchmark::State& state) {
  const auto here = Here();
  const std::string zor = (here / "../../tools/ws-server/zor-ws-server").lexically_normal();
  for (auto _ : state) {
    const Outcome ours = Load({zor, "--port", "0", "--threads", kThreads});
    const Outcome beast = Load({(here / "peer_beast_echo").string(), kThreads});
    const Outcome wspp = Load({(here / "peer_wspp_echo").string(), kThreads});
    state.counters["zor_msgs_per_s"] = ours.messagesPerSecond;
    state.counters["beast_msgs_per_s"] = beast.messagesPerSecond;
    state.counters["wspp_msgs_per_s"] = wspp.messagesPerSecond;
    state.counters["zor_cpu_us_per_msg"] = ours.cpuMicrosecondsPerMessage;
    state.counters["beast_cpu_us_per_msg"] = beast.cpuMicrosecondsPerMessage;
    state.counters["wspp_cpu_us_per_msg"] = wspp.cpuMicrosecondsPerMessage;
    state.counters["ratio_vs_beast"] = ours.messagesPerSecond / beast.messagesPerSecond;
    state.counters["ratio_vs_wspp"] = ours.messagesPerSecond / wspp.messagesPerSecond;
  }
}
BENCHMARK(BM_EchoLoad100x512)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
