#include "kavel/mdb_isolated_call.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

namespace kavel {
namespace {

TEST(MdbIsolatedCallTest, OnlyANormalEndCounts) {
  std::string output;
  EXPECT_TRUE(RunIsolated(
      [](IsolatedOutput& out) {
        out.Expect(300003);
        out.Send(std::string(300000, 'x'));  // more than a pipe holds at once
        out.Send("end");
        return true;
      },
      10, &output));
  EXPECT_EQ(output, std::string(300000, 'x') + "end");

  EXPECT_FALSE(RunIsolated([](IsolatedOutput& out) { out.Send("partial"); return false; }, 10, &output));
  EXPECT_EQ(output, "");
  EXPECT_FALSE(RunIsolated([](IsolatedOutput& out) { out.Send("partial"); ::raise(SIGSEGV); return true; }, 10, &output));
  EXPECT_EQ(output, "");

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunIsolated([](IsolatedOutput&) { ::pause(); return true; }, 1, &output));  // never ends
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace kavel
