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
  EXPECT_TRUE(RunIsolated([](std::string* out) { *out = std::string(300000, 'x') + "end"; return true; }, 10, &output));
  EXPECT_EQ(output.size(), 300003u);  // more than a pipe holds at once

  EXPECT_FALSE(RunIsolated([](std::string* out) { *out = "partial"; return false; }, 10, &output));
  EXPECT_EQ(output, "");
  EXPECT_FALSE(RunIsolated([](std::string*) { ::raise(SIGSEGV); return true; }, 10, &output));

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunIsolated([](std::string*) { ::pause(); return true; }, 1, &output));  // never ends
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace kavel
