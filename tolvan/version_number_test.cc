#include "tolvan/version_number.h"

#include <gtest/gtest.h>

namespace tolvan {
namespace {

TEST(GetVerNoTest, JoinsGroupsWideningOnlyTheLast) {
  const struct {
    const char* text;
    int32_t number;
  } cases[] = {
      {"2.0.0.2", 200002},
      {"2.0.0.12", 200012},
      {"2.0.0.1234", 2001234},
      {"2.0.10.5", 2010005},
      {"1.2", 1002},
      {"7", 7},
      {"2.0.0.", 200},
      {"1.2.3.4.5", 123005},
      {"", 0},
      {"abc", 0},
      {"v2.0-beta.0.3", 200003},     // letters ignored
      {"1.10.0.0", 1100000},         // ranks above 2.0.0.0 (200000): the rule as it stands
      {"21.47.48.3648", 0},          // 2147483648 does not fit
      {"21.47.48.3647", 2147483647},
      {"1.2.3.4.5.6", 123006},       // beyond four dots only the last group counts
      {"9.9.9.9.9.9.9.9.9.9", 999009},
  };
  for (const auto& c : cases) EXPECT_EQ(GetVerNo(c.text), c.number) << c.text;
}

TEST(GetVerNoTest, WalksOnlyAsManyCharactersAsTheTrimmedText) {
  // A leading blank shortens the walk by one character from the end.
  EXPECT_EQ(GetVerNo(" 2.0.0.12"), 200001);
  EXPECT_EQ(GetVerNo("2.0.0.12 "), 200012);
}

}  // namespace
}  // namespace tolvan
