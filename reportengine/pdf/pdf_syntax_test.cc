#include "reportengine/pdf/pdf_syntax.h"

#include <gtest/gtest.h>

namespace re::pdf {
namespace {

TEST(PdfSyntaxTest, NumbersAreShortAndRounded) {
  const struct {
    double value;
    const char* expected;
  } cases[] = {{0, "0"},          {-0.001, "0"},       {12.5, "12.5"},    {595.2756, "595.28"},
               {841.8898, "841.89"}, {-3.004, "-3"},   {0.05, "0.05"},    {1000, "1000"},
               {-0.006, "-0.01"},  {99.999, "100"}};
  for (const auto& c : cases) {
    std::string out;
    AppendNumber(&out, c.value);
    EXPECT_EQ(out, c.expected) << c.value;
  }
  std::string fraction;
  AppendFraction(&fraction, 128 / 255.0);
  EXPECT_EQ(fraction, "0.502");
}

TEST(PdfSyntaxTest, StringsEscapeWhatReadersWouldAlter) {
  const struct {
    std::string in;
    const char* expected;
  } cases[] = {
      {"a(b)c\\", "(a\\(b\\)c\\\\)"},
      {std::string("\r\n\0x", 4), nullptr},
  };
  std::string out;
  AppendLiteralString(&out, cases[0].in);
  EXPECT_EQ(out, cases[0].expected);
  out.clear();
  AppendLiteralString(&out, cases[1].in);
  EXPECT_EQ(out, std::string("(\\r\\n\0x)", 8));

  // Pieces of one string (two-byte glyph codes) escape alike, without the parentheses.
  out.clear();
  AppendLiteralStringBytes(&out, std::string("\x5C\x28\x29\x0D\x0A\x00", 6));
  EXPECT_EQ(out, std::string("\\\\\\(\\)\\r\\n\0", 11));

  out.clear();
  AppendName(&out, "ABCDEF+IPA P#Gothic/");
  EXPECT_EQ(out, "/ABCDEF+IPA#20P#23Gothic#2F");
}

TEST(PdfSyntaxTest, TextStringsAreAsciiOrUtf16WithByteOrderMark) {
  const struct {
    const char* utf8;
    const char* expected;
  } cases[] = {
      {"PDF export", "(PDF export)"},
      {"ベルタンZAVO", "<FEFF30D930EB30BF30F3005A00410056004F>"},
      {"\xF0\x9F\x98\x80", "<FEFFD83DDE00>"},       // outside the BMP: a surrogate pair
      {"a\xFF" "b", "<FEFF0061FFFD0062>"},          // invalid byte
      {"\xE3\x81", "<FEFFFFFDFFFD>"},               // truncated sequence
      {"\xC0\xAF", "<FEFFFFFDFFFD>"},               // overlong form
  };
  for (const auto& c : cases) {
    std::string out;
    AppendTextString(&out, c.utf8);
    EXPECT_EQ(out, c.expected) << c.utf8;
  }
}

TEST(PdfSyntaxTest, DatesCarryTheLocalOffset) {
  std::tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 0;
  local.tm_mday = 5;
  local.tm_hour = 7;
  local.tm_min = 8;
  local.tm_sec = 9;
  const struct {
    long offset;
    const char* expected;
  } cases[] = {
      {9 * 3600, "D:20260105070809+09'00'"},
      {-(5 * 3600 + 30 * 60), "D:20260105070809-05'30'"},
      {0, "D:20260105070809+00'00'"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDate(local, c.offset), c.expected);
}

}  // namespace
}  // namespace re::pdf
