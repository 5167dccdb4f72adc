#include "common/text_encoding.h"

#include <gtest/gtest.h>

namespace common {
namespace {

struct Cp932Case {
  const char* name;
  std::string utf8;
  std::string cp932;
};

TEST(TextEncodingTest, Utf8ToCp932ReplacesWhatCp932CannotHold) {
  const Cp932Case cases[] = {
      {"ascii", "PARAM=1\r\n", "PARAM=1\r\n"},
      {"japanese", "名でバックアップ完了", "\x96\xBC\x82\xC5\x83o\x83\x62\x83N\x83\x41\x83\x62\x83v\x8A\xAE\x97\xB9"},
      {"half-width katakana", "\xEF\xBD\xB1", "\xB1"},
      {"latin letter outside", "a\xC3\xB6" "b", "a?b"},
      // One "?" per UTF-16 unit, as Windows converts: an emoji is a surrogate pair.
      {"four-byte character is two ?", "x\xF0\x9F\x98\x80y", "x??y"},
      {"malformed byte", "x\xFFy", "x?y"},
      {"truncated sequence at the end", "x\xE3\x81", "x??"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932) << c.name;
}

TEST(TextEncodingTest, Cp932ToUtf8NeverFails) {
  const Cp932Case cases[] = {
      {"japanese", "ゾ", "\x83\x5D"},  // the trail byte is "]" in ASCII
      {"undefined lead byte", "a\xEF\xBF\xBDz", "a\xA0z"},
      {"lone lead byte at the end", "a\xEF\xBF\xBD", "a\x83"},
  };
  for (const auto& c : cases) EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.name;
}

TEST(TextEncodingTest, Utf16LeRoundTripAndDamage) {
  const std::string text = "2.0.0.2 名 \xF0\x9F\x98\x80";
  EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(text)), text);
  EXPECT_EQ(Utf8ToUtf16Le("A\xF0\x9F\x98\x80"), std::string("A\0\x3D\xD8\x00\xDE", 6));
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xD8" "A\0", 4)), "\xEF\xBF\xBD" "A");  // unpaired
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\0B", 3)), "A\xEF\xBF\xBD");             // odd length
}

// One character at a time: what each sequence decodes to and how far it moves on. Whatever is
// not a character gives U+FFFD and moves one byte, so the next lead byte is never skipped.
TEST(TextEncodingTest, DecodeUtf8TakesOneCharacterOrOneBadByte) {
  struct Case {
    const char* name;
    std::string bytes;
    char32_t code;
    size_t length;  // bytes taken
    bool valid;
  } const cases[] = {
      {"ascii", "A", U'A', 1, true},
      {"nul", std::string(1, '\0'), 0, 1, true},
      {"two bytes", "\xD0\xAF", U'\u042F', 2, true},
      {"three bytes", "\xE5\x90\x8D", U'\u540D', 3, true},
      {"four bytes", "\xF0\x9F\x98\x80", U'\U0001F600', 4, true},
      {"literal U+FFFD", "\xEF\xBF\xBD", 0xFFFD, 3, true},
      {"largest", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},
      {"continuation alone", "\x80" "A", 0xFFFD, 1, false},
      {"cut short", "\xE5\x90", 0xFFFD, 1, false},
      {"lead then ascii", "\xE5" "AB", 0xFFFD, 1, false},
      {"overlong two", "\xC0\x80", 0xFFFD, 1, false},
      {"overlong three", "\xE0\x80\xAF", 0xFFFD, 1, false},
      {"overlong four", "\xF0\x80\x80\xAF", 0xFFFD, 1, false},
      {"surrogate", "\xED\xA0\x80", 0xFFFD, 1, false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", 0xFFFD, 1, false},
      {"no lead byte", "\xFF", 0xFFFD, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = "x" + c.bytes;  // starting past the first byte
    size_t pos = 1;
    bool valid = !c.valid;
    EXPECT_EQ(DecodeUtf8(text, &pos, &valid), c.code);
    EXPECT_EQ(pos, 1 + c.length);
    EXPECT_EQ(valid, c.valid);
  }
}

}  // namespace
}  // namespace common
