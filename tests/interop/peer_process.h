#pragma once
// Independent peers for interop tests: a program started on a loopback port
// the test chose, its output collected in a file, stopped (and reaped) when
// the test is done, also when the test fails.
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zor::test {

// A port nobody listens on right now (the kernel's pick, released again).
inline uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// True once something accepts connections on the port, false after `seconds`.
inline bool WaitForPort(uint16_t port, int seconds = 20) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Path of a program on PATH (or in the usual system folders), or the path it
// is given when it names one; empty when missing.
inline std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/sbin:/usr/bin:/bin";
  std::stringstream folders(path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = folder + "/" + name;
    if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

class PeerProcess {
 public:
  // Starts `argv` with stdout and stderr going to `log_file`; its stdin is a
  // pipe kept open until the peer stops (some peers end at end of input).
  PeerProcess(std::vector<std::string> argv, std::string log_file) : log_file_(std::move(log_file)) {
    const std::string program = FindProgram(argv.at(0));
    if (program.empty()) throw std::runtime_error(argv[0] + " is not installed (scripts/install-deps)");
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    stdin_ = pipe_fds[1];
    ::fcntl(stdin_, F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, log_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // The test's own sockets and files stay with the test.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    // A process group of its own, so that helpers the peer forks stop with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fds[0]);
    if (rc != 0) {
      ::close(stdin_);
      throw std::runtime_error("cannot start " + program);
    }
  }
  ~PeerProcess() { Stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGTERM);
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
      ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(-pid_, SIGKILL);  // whatever of the group is left
    if (!ended) ::waitpid(pid_, &status, 0);
    pid_ = -1;
    ::close(stdin_);
  }

  void WriteInput(const std::string& text) {
    if (::write(stdin_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      throw std::runtime_error("cannot write to the peer");
  }

  std::string Output() const {
    std::ifstream f(log_file_, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

  // True once the output holds `text`, false after `seconds` (a start-up or
  // delivery wait, not a measurement).
  bool WaitForOutput(const std::string& text, int seconds = 20) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
      if (Output().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  std::string log_file_;
  pid_t pid_ = -1;
  int stdin_ = -1;
};

}  // namespace zor::test
