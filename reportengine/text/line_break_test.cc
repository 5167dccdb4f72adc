#include "reportengine/text/line_break.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace re {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// One cluster per code point: 2 units wide for CJK characters, 1 for any other.
std::vector<BreakCluster> UnitClusters(std::string_view text) {
  std::vector<BreakCluster> clusters;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    clusters.push_back({i, IsCjkBreakable(CodePointAt(text, i)) ? 2.0f : 1.0f});
    i += len;
  }
  return clusters;
}

std::vector<std::string> Lines(std::string_view text, float width,
                               const HyphenationPoints& hyphenation = {}) {
  std::vector<std::string> lines;
  for (const LineSpan& s : BreakParagraph(text, UnitClusters(text), width, hyphenation, 1.0f)) {
    lines.push_back(std::string(text.substr(s.begin, s.end - s.begin)) + (s.hyphen ? "-" : ""));
  }
  return lines;
}

TEST(LineBreakTest, BreaksLikeTheTextObjects) {
  const struct {
    const char* name;
    std::string text;
    float width;
    std::vector<std::string> lines;
  } cases[] = {
      {"fits", "abc def", 7, {"abc def"}},
      {"empty", "", 5, {""}},
      {"wraps at the space, dropping it", "abc def", 6, {"abc", "def"}},
      {"several spaces dropped at a wrap", "abc   def", 5, {"abc", "def"}},
      {"spaces hang past the edge", "abc    ", 3, {"abc    "}},
      {"leading spaces of the text stay", "  abc def", 6, {"  abc", "def"}},
      {"word wider than the line breaks by characters", "abcdefgh", 3, {"abc", "def", "gh"}},
      {"long word after a short one starts its own line", "ab cdefgh", 4, {"ab", "cdef", "gh"}},
      {"at least one character a line", "abc", 0.5f, {"a", "b", "c"}},
      {"Japanese breaks after the last character that fits", "日本語の文章", 7, {"日本語", "の文章"}},
      {"exact fit", "日本語日本語", 6, {"日本語", "日本語"}},
      {"Latin word before Japanese text", "ab日本語", 5, {"ab日", "本語"}},
      {"Latin word after Japanese text moves whole", "日本abc", 6, {"日本", "abc"}},
      {"ideographic space is a Japanese character", "日本　語", 5, {"日本", "　語"}},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(Lines(c.text, c.width), ElementsAreArray(c.lines)) << c.name;
  }
}

TEST(LineBreakTest, HyphenatesRussianWordsThatDoNotFit) {
  // A stand-in dictionary: a split may follow every second letter.
  const HyphenationPoints every_two_letters = [](std::string_view word) {
    std::vector<size_t> points;
    for (size_t p = 4; p + 4 <= word.size(); p += 4) points.push_back(p);
    return points;
  };
  // "ааа бббббб": the second word starts on the first line, split where "бб-" or "бббб-" fits.
  EXPECT_THAT(Lines("ааа бббббб", 9, every_two_letters), ElementsAre("ааа бббб-", "бб"));
  EXPECT_THAT(Lines("ааа бббббб", 7, every_two_letters), ElementsAre("ааа бб-", "бббб"));
  // Not even the first part fits beside the first word: the word moves to the next line whole
  // when it fits there...
  EXPECT_THAT(Lines("ааа бббббб", 6, every_two_letters), ElementsAre("ааа", "бббббб"));
  // ... and is split again when it does not.
  EXPECT_THAT(Lines("бббббббб", 5, every_two_letters), ElementsAre("бббб-", "бббб"));
  // Punctuation after the word does not stop it being split.
  EXPECT_THAT(Lines("бббббб,", 6, every_two_letters), ElementsAre("бббб-", "бб,"));
  // Without hyphenation the same text breaks at spaces and characters only.
  EXPECT_THAT(Lines("ааа бббббб", 9), ElementsAre("ааа", "бббббб"));
  // Latin words are never hyphenated.
  EXPECT_THAT(Lines("aaa bbbbbb", 9, every_two_letters), ElementsAre("aaa", "bbbbbb"));
}

TEST(LineBreakTest, CodePoints) {
  EXPECT_EQ(CodePointAt("a", 0), U'a');
  EXPECT_EQ(CodePointAt("я", 0), U'я');
  EXPECT_EQ(CodePointAt("日", 0), U'日');
  EXPECT_EQ(CodePointAt("\xF0\x9F\x98\x80", 0), U'\U0001F600');
  EXPECT_EQ(CodePointAt("\xE6\x97", 0), U'\uFFFD');  // cut short
  EXPECT_EQ(CodePointAt("\x80", 0), U'\uFFFD');
}

}  // namespace
}  // namespace re
