#include "kavel/mdb_isolated_call.h"

#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <string>

#include <gtest/gtest.h>

namespace kavel {
namespace {

// No child of the test is left, neither running nor as a zombie.
void ExpectNoChildLeft() {
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

bool RunShell(const std::string& script, int timeout_seconds, std::string* output) {
  return RunIsolated({"/bin/sh", "-c", script}, timeout_seconds, output);
}

TEST(MdbIsolatedCallTest, OnlyANormalEndCounts) {
  std::string output;
  // More than a pipe holds at once, in pieces; standard input is empty, standard error goes nowhere.
  EXPECT_TRUE(RunShell("head -c 300000 /dev/zero | tr '\\0' x; cat; echo noise >&2; printf end", 10, &output));
  EXPECT_EQ(output, std::string(300000, 'x') + "end");

  EXPECT_FALSE(RunShell("printf partial; exit 1", 10, &output));
  EXPECT_EQ(output, "");
  EXPECT_FALSE(RunShell("printf partial; kill -SEGV $$", 10, &output));
  EXPECT_EQ(output, "");
  EXPECT_FALSE(RunIsolated({"/nonexistent/kavel-mdb-reader", "check", "x"}, 10, &output));
  EXPECT_FALSE(RunIsolated({}, 10, &output));
  ExpectNoChildLeft();
}

TEST(MdbIsolatedCallTest, StalledProgramsAreKilledAtTheTimeLimit) {
  struct Case {
    const char* name;
    const char* script;
  } const cases[] = {
      {"never writes", "printf partial; exec sleep 60"},
      {"closes its output and goes on", "printf all; exec sleep 60 >&-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string output;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunShell(c.script, 1, &output));
    EXPECT_EQ(output, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    ExpectNoChildLeft();
  }
}

}  // namespace
}  // namespace kavel
