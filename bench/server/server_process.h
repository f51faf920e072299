#pragma once
// A server program started by a benchmark as a child process, so that its
// CPU time can be read apart from the load client's; stopped when done.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/interop/peer_process.h"

namespace zor::bench {

// The folder of the running benchmark program.
inline std::filesystem::path Here() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

// Our server program (tools/ws-server) in the same build.
inline std::string ZorServerProgram() { return (Here() / "../../tools/ws-server/zor-ws-server").lexically_normal(); }

class ServerProcess {
 public:
  // A program that prints its port at the end of its first line of output.
  explicit ServerProcess(std::vector<std::string> argv) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    Spawn(argv, fds[1], fds[0]);
    ::close(fds[1]);
    std::string line;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(fds[0]);
    const size_t digits = line.find_last_not_of("0123456789");
    port_ = static_cast<uint16_t>(std::stoi(line.substr(digits == std::string::npos ? 0 : digits + 1)));
  }
  // A program told its port by its arguments: ready once the port accepts.
  ServerProcess(std::vector<std::string> argv, uint16_t port) : port_(port) {
    Spawn(argv, -1, -1);
    if (!test::WaitForPort(port)) throw std::runtime_error(argv[0] + " does not listen on its port");
  }
  ~ServerProcess() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  uint16_t Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  size_t ResidentBytes() const {
    std::ifstream statm("/proc/" + std::to_string(pid_) + "/statm");
    size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  }

 private:
  void Spawn(std::vector<std::string>& argv, int out, int unused) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, 1);
    if (unused >= 0) posix_spawn_file_actions_addclose(&actions, unused);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  }

  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

// User and system time so far, in seconds, of a process and its children
// (the workers of a forking server).
inline double CPUSeconds(pid_t pid) {
  double seconds = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t paren = text.rfind(')');
    if (paren == std::string::npos) continue;
    std::istringstream fields(text.substr(paren + 2));
    std::string field;
    long long parent = 0, ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 4) parent = std::stoll(field);
      if (i == 14 || i == 15) ticks += std::stoll(field);
    }
    if (name == std::to_string(pid) || parent == pid)
      seconds += static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  }
  return seconds;
}

}  // namespace zor::bench
