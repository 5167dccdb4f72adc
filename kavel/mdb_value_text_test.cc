#include "kavel/mdb_value_text.h"

#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace kavel {
namespace {

TEST(MdbValueTextTest, DecodesJet4Text) {
  struct Case {
    std::string stored;
    std::string text;
  } const cases[] = {
      {std::string("A\0B\0", 4), "AB"},                                 // UCS-2
      {"\xFF\xFE" "abc", "abc"},                                        // compressed
      {std::string("\xFF\xFE" "a\0\x71\x5C\0b", 8), "a山b"},             // switched to UCS-2 and back
      {std::string("\xFF\xFE\0\xFF\xFE", 5), "\xEF\xBB\xBF"},           // leading U+FEFF kept as a character
      {std::string("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80"},         // surrogate pair
      {std::string("\x3D\xD8" "a\0", 4), "\xEF\xBF\xBD" "a"},           // unpaired surrogate
      {std::string("a\0b", 3), "a\xEF\xBF\xBD"},                        // odd byte left over
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeJet4Text(c.stored), c.text) << c.text;
}

TEST(MdbValueTextTest, FormatsNumbersAsShortestRoundTripText) {
  EXPECT_EQ(FormatDouble(1.5), "1.5");
  EXPECT_EQ(FormatDouble(6), "6");
  EXPECT_EQ(FormatDouble(-0.25), "-0.25");
  EXPECT_EQ(FormatDouble(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(FormatDouble(1e20), "1E+20");
  EXPECT_EQ(FormatDouble(-0.0), "0");
  EXPECT_EQ(FormatDouble(1e14), "100000000000000");
  EXPECT_EQ(FormatDouble(1.5e15), "1.5E+15");
  EXPECT_EQ(FormatDouble(0.00001), "0.00001");
  EXPECT_EQ(FormatDouble(-1.25e-6), "-1.25E-06");
  EXPECT_EQ(FormatDouble(123.456), "123.456");
  EXPECT_EQ(FormatSingle(0.1f), "0.1");
  EXPECT_EQ(FormatCurrency(123456), "12.3456");
  EXPECT_EQ(FormatCurrency(50000), "5");
  EXPECT_EQ(FormatCurrency(12000), "1.2");
  EXPECT_EQ(FormatCurrency(-1), "-0.0001");
  EXPECT_EQ(FormatCurrency(std::numeric_limits<int64_t>::min()), "-922337203685477.5808");
}

TEST(MdbValueTextTest, FormatsDatesInTheRegionalFormat) {
  struct Case {
    double serial;
    const char* text;
  } const cases[] = {
      {0.0, "1899/12/30"},
      {45413.0, "2024/05/01"},
      {45413.5, "2024/05/01 12:00:00"},
      {45413.0 + (9 * 3600 + 30 * 60 + 5) / 86400.0, "2024/05/01 9:30:05"},
      {45413.0 + 86399.6 / 86400.0, "2024/05/02"},  // rounds to the next midnight
      {-1.25, "1899/12/29 6:00:00"},                // before 1899-12-30 the time still counts forward
      {-657434.0, "0100/01/01"},
      {1e10, "10000000000"},                        // beyond 9999: the number itself
  };
  for (const Case& c : cases) EXPECT_EQ(FormatJetDate(c.serial), c.text) << c.serial;
}

TEST(MdbValueTextTest, FormatsGuids) {
  const std::string bytes("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xAA\xBB\xCC\xDD\xEE\xFF", 16);
  EXPECT_EQ(FormatGuid(bytes), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
}

}  // namespace
}  // namespace kavel
