#pragma once
// Runs a client program to its end and returns what it printed (stdout and
// stderr together). A client that is still running after `seconds` is killed.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/interop/peer_process.h"

namespace zor::test {

inline std::string RunProgram(std::vector<std::string> argv, int seconds = 60) {
  const std::string program = FindProgram(argv.at(0));
  if (program.empty()) return argv[0] + " is not installed (scripts/install-deps)";
  const std::string log = ::testing::TempDir() + "run_program_" + std::to_string(::getpid()) + ".log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // Sockets of the test stay with the test: a listener the program held
  // would go on taking connections after the test closed it.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return "cannot start " + program;
  int status = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (::waitpid(pid, &status, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() > until) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ifstream f(log, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  std::remove(log.c_str());
  return s.str();
}

}  // namespace zor::test
