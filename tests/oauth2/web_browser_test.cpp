// Opening the user's browser: the address goes over as one argument, never
// through a shell, and the program gets none of our descriptors beyond the
// standard three (a browser that held our listener would keep it taking
// connections nobody answers).
#include "oauth2/web_browser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace zor {
namespace {

// A stand-in "xdg-open", first on PATH, that writes down its arguments and
// its open descriptors and exits with $FAKE_STATUS.
struct FakeXdgOpen : ::testing::Test {
  FakeXdgOpen() : folder(::testing::TempDir() + "fake_xdg_open_" + std::to_string(::getpid())) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/xdg-open") << "#!/bin/sh\n"
                                           "here=$(dirname \"$0\")\n"
                                           "printf '%s\\n' \"$@\" > \"$here/args\"\n"
                                           "ls /proc/$$/fd > \"$here/fds\"\n"
                                           "exit ${FAKE_STATUS:-0}\n";
    ::chmod((folder + "/xdg-open").c_str(), 0755);
    path = std::getenv("PATH");
    ::setenv("PATH", (folder + ":" + path).c_str(), 1);
  }
  ~FakeXdgOpen() override {
    ::setenv("PATH", path.c_str(), 1);
    ::unsetenv("FAKE_STATUS");
    std::filesystem::remove_all(folder);
  }
  std::string Read(const std::string& name) {
    std::ifstream file(folder + "/" + name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::string folder;
  std::string path;
};

TEST_F(FakeXdgOpen, GetsTheAddressAsOneArgumentAndNoneOfOurDescriptors) {
  // Inherited unless the spawn closes it: dup2 clears close-on-exec.
  constexpr int kOurs = 200;
  const int opened = ::open("/dev/null", O_RDONLY);
  ASSERT_EQ(::dup2(opened, kOurs), kOurs);
  ::close(opened);
  const std::string url = "https://a.example/cb?x=1&y='$(id)' z;`id`";
  const bool opened_browser = OpenURLWithXdgOpen(url);
  ::close(kOurs);
  ASSERT_TRUE(opened_browser);
  EXPECT_EQ(Read("args"), url + "\n");
  std::set<std::string> fds;
  std::istringstream lines(Read("fds"));
  for (std::string fd; std::getline(lines, fd);) fds.insert(fd);
  EXPECT_TRUE(fds.count("0") && fds.count("1") && fds.count("2")) << Read("fds");
  EXPECT_EQ(fds.count(std::to_string(kOurs)), 0u) << Read("fds");
}

TEST_F(FakeXdgOpen, OptionsAreNotPassedAndFailuresAreReported) {
  EXPECT_FALSE(OpenURLWithXdgOpen(""));
  EXPECT_FALSE(OpenURLWithXdgOpen("--help"));
  EXPECT_EQ(Read("args"), "");
  ::setenv("FAKE_STATUS", "3", 1);
  EXPECT_FALSE(OpenURLWithXdgOpen("https://a.example/"));
  EXPECT_EQ(Read("args"), "https://a.example/\n");
}

}  // namespace
}  // namespace zor
