// What a child process started by the application inherits of the library:
// nothing. The listener, both ends of a connection and the traffic log are
// close-on-exec, seen through fcntl and through what a started program
// finds open.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "net/connection.h"
#include "net/traffic_log.h"
#include "server/ws_http_server.h"

extern char** environ;

namespace zor {
namespace {

namespace fs = std::filesystem;

// The open descriptors of this process and what each one names
// ("socket:[123]", a file's path).
std::map<int, std::string> OpenDescriptors() {
  std::map<int, std::string> open;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (!ec) open.emplace(std::stoi(entry.path().filename().string()), target.string());
  }
  return open;
}

// What `ls -l /proc/self/fd` prints when this process starts it: the link
// targets of every descriptor the program inherited.
std::string DescriptorsOfAStartedProgram() {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return "pipe2 failed";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  char sh[] = "/bin/sh", c[] = "-c", command[] = "exec ls -l /proc/self/fd";
  char* argv[] = {sh, c, command, nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string listing;
  char chunk[4096];
  ssize_t n;
  while ((n = ::read(out[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) listing.append(chunk, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  if (spawned == 0) ::waitpid(pid, &status, 0);
  return spawned == 0 ? listing : "posix_spawn failed";
}

TEST(CloseOnExec, ListenerConnectionEndsAndTrafficLogAreNotInherited) {
  const std::map<int, std::string> before = OpenDescriptors();
  const fs::path logFile = fs::temp_directory_path() / ("zor_cloexec_" + std::to_string(::getpid()) + ".log");

  TzorWSHTTPServer server;
  server.SetPort(0);
  server.SetAddress("127.0.0.1");
  server.SetThreadPoolSize(1);
  server.SetNotifyEvents(neNoSync);
  server.OnCommandGet = [](TzorWSConnectionServer*, TzorHTTPServerRequest&, TzorHTTPServerResponse& response) {
    response.ContentText = "hi";
  };
  server.SetActive(true);
  auto log = std::make_shared<TzorIdLogFileClient>();
  log->SetFileName(logFile.string());
  log->SetActive(true);
  TzorConnection client;
  client.Options().Host = "127.0.0.1";
  client.Options().Port = server.ListeningPort();
  client.Options().ConnectTimeout = client.Options().ReadTimeout = client.Options().WriteTimeout = 20000;
  client.AddIntercept(log);
  client.Connect();
  client.Write(std::string("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
  // An answer means the server accepted: its end of the connection is open.
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos) head += client.ReadBytes(1);
  ASSERT_EQ(head.rfind("HTTP/1.1 200", 0), 0u) << head;

  std::map<int, std::string> opened;
  for (const auto& [fd, target] : OpenDescriptors())
    if (!before.count(fd) || before.at(fd) != target) opened.emplace(fd, target);
  int sockets = 0;
  bool logSeen = false;
  for (const auto& [fd, target] : opened) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags < 0) continue;  // the listing's own descriptor, closed by now
    EXPECT_TRUE(flags & FD_CLOEXEC) << "descriptor " << fd << " (" << target << ") would be inherited";
    sockets += target.rfind("socket:", 0) == 0;
    logSeen |= target == logFile.string();
  }
  // The listener, the client's end and the server's end, at least.
  EXPECT_GE(sockets, 3);
  EXPECT_TRUE(logSeen);

  const std::string inherited = DescriptorsOfAStartedProgram();
  ASSERT_NE(inherited.find("/proc/"), std::string::npos) << inherited;  // the program did list its descriptors
  for (const auto& [fd, target] : opened) {
    if (target.rfind("socket:", 0) == 0 || target == logFile.string()) {
      EXPECT_EQ(inherited.find(target), std::string::npos) << target << " reached the started program:\n" << inherited;
    }
  }

  client.Disconnect();
  server.SetActive(false);
  log->SetActive(false);
  fs::remove(logFile);
}

}  // namespace
}  // namespace zor
