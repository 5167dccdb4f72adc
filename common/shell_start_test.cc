#include "common/shell_start.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "common/temp_folder_for_testing.h"

namespace common {
namespace {

// Waits up to 10 s for `path` to hold a complete line; returns its first line or "".
std::string WaitForLine(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    std::ifstream in(path);
    std::string line;
    if (std::getline(in, line) && !in.eof()) return line;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

bool NoChildProcessLeft() { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }

// Puts fake xdg-open and pkexec first on PATH; each records its parent and arguments.
class ShellStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_path_ = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    std::filesystem::create_directory(folder_.path() + "bin");
    for (const char* tool : {"xdg-open", "pkexec"}) {
      Script(std::string("bin/") + tool,
             "echo \"$PPID $*\" > \"" + folder_.path() + tool + ".out\"\n");
    }
    ::setenv("PATH", (folder_.path() + "bin:" + saved_path_).c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", saved_path_.c_str(), 1); }

  std::string Script(const std::string& name, const std::string& body) {
    folder_.Write(name, "#!/bin/sh\n" + body);
    ::chmod((folder_.path() + name).c_str(), 0755);
    return folder_.path() + name;
  }

  TempFolderForTesting folder_;
  std::string saved_path_;
};

// The program runs on its own, in another session, after ShellOpen has returned: it waits for
// a file that the test makes only afterwards.
TEST_F(ShellStartTest, ExecutableStartsDetachedAndIsNotWaitedFor) {
  const std::string dir = folder_.path();
  const std::string program = Script(
      "Norvik.exe",
      "i=0; while [ ! -e \"" + dir + "go\" ] && [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); done\n"
      "[ -e \"" + dir + "go\" ] && echo \"$(cut -d' ' -f6 /proc/$$/stat) $*\" > \"" + dir + "ran\"\n");
  ASSERT_TRUE(ShellOpen(program));
  EXPECT_TRUE(NoChildProcessLeft());
  folder_.Write("go", "");
  const std::string line = WaitForLine(dir + "ran");
  ASSERT_FALSE(line.empty()) << "the program did not run on after ShellOpen returned";
  const pid_t session = std::stoi(line.substr(0, line.find(' ')));
  EXPECT_NE(session, ::getsid(0));
  EXPECT_EQ(line.substr(line.find(' ')), " ");  // no parameters
}

TEST_F(ShellStartTest, EverythingElseGoesThroughXdgOpen) {
  folder_.Write("readme.txt", "text");  // not executable
  struct Case {
    std::string target;
  } const cases[] = {{"https://www.example.com/"}, {folder_.path() + "readme.txt"}};
  for (const auto& c : cases) {
    std::filesystem::remove(folder_.path() + "xdg-open.out");
    ASSERT_TRUE(ShellOpen(c.target)) << c.target;
    const std::string line = WaitForLine(folder_.path() + "xdg-open.out");
    EXPECT_EQ(line.substr(line.find(' ') + 1), c.target);
  }
  EXPECT_TRUE(NoChildProcessLeft());
}

TEST_F(ShellStartTest, RunAsGoesThroughPkexecWhoseParentStays) {
  ASSERT_TRUE(ShellRunAs(folder_.path() + "Setup.exe"));
  EXPECT_TRUE(NoChildProcessLeft());
  const std::string line = WaitForLine(folder_.path() + "pkexec.out");
  ASSERT_FALSE(line.empty());
  EXPECT_NE(line.substr(0, line.find(' ')), "1");  // pkexec refuses to serve dead parents
  EXPECT_EQ(line.substr(line.find(' ') + 1), folder_.path() + "Setup.exe");
}

TEST_F(ShellStartTest, FailedStartsAreReported) {
  folder_.Write("broken.exe", std::string("\x7F" "ELF garbage", 12));
  ::chmod((folder_.path() + "broken.exe").c_str(), 0755);
  EXPECT_FALSE(ShellOpen(folder_.path() + "broken.exe"));  // the exec itself fails
  EXPECT_FALSE(ShellOpen(""));
  EXPECT_FALSE(ShellRunAs(""));
  ::setenv("PATH", (folder_.path() + "nowhere").c_str(), 1);
  EXPECT_FALSE(ShellOpen("https://www.example.com/"));  // no xdg-open
  EXPECT_FALSE(ShellRunAs("/bin/true"));                // no pkexec
  EXPECT_TRUE(NoChildProcessLeft());
}

}  // namespace
}  // namespace common
