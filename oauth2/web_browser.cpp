#include "oauth2/web_browser.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace zor {

bool OpenURLWithXdgOpen(const std::string& aURL) {
  // An address starting with "-" would be read as an option.
  if (aURL.empty() || aURL.front() == '-') return false;
  std::string program = "xdg-open";
  std::string url = aURL;
  char* argv[] = {program.data(), url.data(), nullptr};
  // The browser it starts may live on long after us: it must not hold our
  // sockets open (a listener it held would keep taking connections that
  // nobody answers) nor any other descriptor of ours.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace zor
