#include "tolvan/text_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace tolvan {
namespace {

TEST(ParseInt32Test, TakesDecimalAndHexadecimalOnlyAsTheWholeTextWithinRange) {
  const struct {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {.text = "0", .value = 0},
      {.text = "200", .value = 200},
      {.text = "+7", .value = 7},
      {.text = "-42", .value = -42},
      {.text = "007", .value = 7},
      {.text = "2147483647", .value = INT32_MAX},
      {.text = "-2147483648", .value = INT32_MIN},
      {.text = "$1F", .value = 31},
      {.text = "0x1f", .value = 31},
      {.text = "0X7FFFFFFF", .value = INT32_MAX},
      {.text = "-$10", .value = -16},
      {.text = "-0x80000000", .value = INT32_MIN},
      // Out of range, including a run of digits that would overflow a 64-bit sum.
      {.text = "2147483648", .value = std::nullopt},
      {.text = "-2147483649", .value = std::nullopt},
      {.text = "0x80000000", .value = std::nullopt},
      {.text = "99999999999999999999999", .value = std::nullopt},
      // Not a number as a whole: nothing around it is skipped.
      {.text = "", .value = std::nullopt},
      {.text = "-", .value = std::nullopt},
      {.text = "$", .value = std::nullopt},
      {.text = "0x", .value = std::nullopt},
      {.text = " 1", .value = std::nullopt},
      {.text = "1 ", .value = std::nullopt},
      {.text = "12a", .value = std::nullopt},
      {.text = "1F", .value = std::nullopt},
      {.text = "$1G", .value = std::nullopt},
      {.text = "--1", .value = std::nullopt},
      {.text = "1.0", .value = std::nullopt},
      {.text = "１２", .value = std::nullopt},  // full-width digits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseInt32(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(FormatTest, FillsEachPlaceInTurnAndNeverRescansAValue) {
  EXPECT_EQ(Format("残り　%s バイト", "12"), "残り　12 バイト");
  EXPECT_EQ(Format("%s 最新バージョン=%s ローカルバージョン=%s", "MST.FDB", "1.0", "0.9"),
            "MST.FDB 最新バージョン=1.0 ローカルバージョン=0.9");
  // A value holding "%s" (a path, a server's reason) is taken as it is.
  EXPECT_EQ(Format("%s：%s", "a%sb", "c"), "a%sb：c");
  // Fewer values than places: the rest stays; no place: the pattern alone.
  EXPECT_EQ(Format("%s-%s", "x"), "x-%s");
  EXPECT_EQ(Format("切断されました", "x"), "切断されました");
}

}  // namespace
}  // namespace tolvan
