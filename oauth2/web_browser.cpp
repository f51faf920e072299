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
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace zor
