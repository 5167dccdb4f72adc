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
// (A bound for a detached process to get going, not a measure of speed.)
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

// Puts fake xdg-open, pkexec and wine first on PATH; each records its parent and arguments
// (wine also the WINEPREFIX it was given).
class ShellStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_path_ = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    std::filesystem::create_directory(folder_.path() + "bin");
    for (const char* tool : {"xdg-open", "pkexec", "wine"}) {
      Script(std::string("bin/") + tool,
             "echo \"$PPID $*|$WINEPREFIX\" > \"" + folder_.path() + tool + ".out\"\n");
    }
    ::setenv("PATH", (folder_.path() + "bin:" + saved_path_).c_str(), 1);
    ::setenv("WINEPREFIX", (folder_.path() + "prefix").c_str(), 1);
  }
  void TearDown() override {
    ::setenv("PATH", saved_path_.c_str(), 1);
    ::unsetenv("WINEPREFIX");
  }

  // The arguments a fake tool was started with (after its parent's id), or "" when it never ran.
  std::string Recorded(const char* tool) const {
    const std::string line = WaitForLine(folder_.path() + tool + ".out");
    return line.empty() ? "" : line.substr(line.find(' ') + 1);
  }

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

TEST_F(ShellStartTest, WebAddressGoesThroughXdgOpen) {
  ASSERT_TRUE(ShellOpen("https://www.example.com/"));
  EXPECT_EQ(Recorded("xdg-open"), "https://www.example.com/|" + folder_.path() + "prefix");
  EXPECT_TRUE(NoChildProcessLeft());
}

// Which loader starts what: a Windows program goes to wine for both verbs (wine has no
// elevation), a native program runs itself or goes to pkexec for "runas"; and a start only
// counts when something was really executed for an existing program.
TEST_F(ShellStartTest, EachKindOfProgramFileIsStartedByItsLoader) {
#ifndef PE_FIXTURE_DIR
  GTEST_SKIP() << "no Windows program fixtures (binutils-mingw-w64 missing)";
#else
  const std::string dir = folder_.path();
  std::filesystem::copy_file(std::string(PE_FIXTURE_DIR) + "version_ja.exe", dir + "Norvik.exe");
  ::chmod((dir + "Norvik.exe").c_str(), 0644);  // wine needs no exec bit
  Script("Setup.exe", "exit 0\n");               // a native installer
  folder_.Write("readme.txt", "text");           // neither
  folder_.Write("MZ.exe", "MZ but no PE header at all, only text........................");
  struct Case {
    const char* name;
    bool run_as;
    std::string target;
    bool started;
    const char* loader;  // the fake tool that must have run, or nullptr
    std::string recorded;
  } const cases[] = {
      {"Windows program", false, dir + "Norvik.exe", true, "wine",
       dir + "Norvik.exe|" + dir + "prefix"},
      {"Windows installer, runas", true, dir + "Norvik.exe", true, "wine",
       dir + "Norvik.exe|" + dir + "prefix"},
      {"native installer, runas", true, dir + "Setup.exe", true, "pkexec",
       dir + "Setup.exe|" + dir + "prefix"},
      {"missing program", false, dir + "Missing.exe", false, nullptr, ""},
      {"missing installer, runas", true, dir + "Missing.exe", false, nullptr, ""},
      {"document, no exec bit", false, dir + "readme.txt", false, nullptr, ""},
      {"document, runas", true, dir + "readme.txt", false, nullptr, ""},
      {"MZ without PE signature", false, dir + "MZ.exe", false, nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* tool : {"xdg-open", "pkexec", "wine"}) {
      std::filesystem::remove(dir + tool + ".out");
    }
    EXPECT_EQ(c.run_as ? ShellRunAs(c.target) : ShellOpen(c.target), c.started);
    if (c.loader != nullptr) {
      EXPECT_EQ(Recorded(c.loader), c.recorded);
    }
    EXPECT_TRUE(NoChildProcessLeft());
  }
  // Nothing reached a loader that the table did not name.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (const char* tool : {"xdg-open"}) {
    EXPECT_FALSE(std::filesystem::exists(dir + tool + ".out")) << tool;
  }

  // Without wine a Windows program cannot start at all.
  ::setenv("PATH", (dir + "nowhere").c_str(), 1);
  EXPECT_FALSE(ShellOpen(dir + "Norvik.exe"));
  EXPECT_FALSE(ShellRunAs(dir + "Norvik.exe"));
#endif
}

TEST_F(ShellStartTest, RunAsGoesThroughPkexecWhoseParentStays) {
  const std::string setup = Script("Setup.exe", "exit 0\n");
  ASSERT_TRUE(ShellRunAs(setup));
  EXPECT_TRUE(NoChildProcessLeft());
  const std::string line = WaitForLine(folder_.path() + "pkexec.out");
  ASSERT_FALSE(line.empty());
  EXPECT_NE(line.substr(0, line.find(' ')), "1");  // pkexec refuses to serve dead parents
  EXPECT_EQ(line.substr(line.find(' ') + 1, setup.size()), setup);
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
