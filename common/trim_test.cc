#include "common/trim.h"

#include <gtest/gtest.h>

#include <string>

namespace common {
namespace {

TEST(TrimTest, CutsBlanksAndControlCharactersAtBothEndsOnly) {
  using namespace std::string_literals;
  struct Case {
    std::string text;
    std::string trimmed;
  } const cases[] = {
      {"", ""},
      {" \t\r\n", ""},
      {"abc", "abc"},
      {"  a b  ", "a b"},                  // inner blanks stay
      {"\x01key=\x1f", "key="},            // every control character counts as blank
      {"\0x\0"s, "x"},                     // so does a NUL byte
      {"\x7f" "a" "\x7f", "\x7f" "a" "\x7f"},  // DEL is no blank
      {"\xe3\x80\x80" "a", "\xe3\x80\x80" "a"},  // nor the ideographic space (U+3000)
      {" \xc3\xa9 ", "\xc3\xa9"},          // bytes of UTF-8 sequences are never cut
  };
  for (const Case& c : cases) EXPECT_EQ(Trim(c.text), c.trimmed) << c.text;
}

}  // namespace
}  // namespace common
