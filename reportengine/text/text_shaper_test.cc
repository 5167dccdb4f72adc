#include "reportengine/text/text_shaper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace re {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

const FontSpec kPGothic9{"ＭＳ Ｐゴシック", 9};
const FontSpec kGothic9{"ＭＳ ゴシック", 9};
constexpr float kMmPerPx = 25.4f / 96;

TEST(TextShaperTest, WindowsFacesResolveToTheirStandIns) {
  const struct {
    const char* name;
    const char* file;
  } cases[] = {
      {"ＭＳ Ｐゴシック", "ipagp.ttf"}, {"ＭＳ ゴシック", "ipag.ttf"},
      {"ＭＳ Ｐ明朝", "ipamp.ttf"},     {"ＭＳ 明朝", "ipam.ttf"},
      {"Arial", "LiberationSans-Regular.ttf"},
  };
  TextShaper shaper;
  for (const auto& c : cases) {
    std::string error;
    ASSERT_TRUE(shaper.Resolve({c.name, 10}, &error)) << c.name << ": " << error;
  }
  ASSERT_EQ(shaper.fonts().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const FontFace& face = shaper.fonts()[i];
    EXPECT_EQ(face.name, cases[i].name);
    EXPECT_EQ(std::filesystem::path(face.file).filename(), cases[i].file) << face.file;
    EXPECT_TRUE(std::filesystem::path(face.file).is_absolute());
  }
  // Asking again, at another size, adds no entry.
  EXPECT_TRUE(shaper.Resolve({"ＭＳ ゴシック", 12}, nullptr));
  EXPECT_EQ(shaper.fonts().size(), std::size(cases));
}

TEST(TextShaperTest, FaceThatIsNotInstalledIsAnErrorNotASubstitute) {
  TextShaper shaper;
  const FontSpec missing{"ＭＳ ＵＩ Ｇｏｔｈｉｃ", 9};
  std::string error;
  EXPECT_FALSE(shaper.Resolve(missing, &error));
  EXPECT_EQ(error, "Font not found: ＭＳ ＵＩ Ｇｏｔｈｉｃ");
  EXPECT_FALSE(shaper.Resolve({"", 9}, &error));
  EXPECT_TRUE(shaper.fonts().empty());
  EXPECT_EQ(shaper.Shape(missing, "abc"), nullptr);
  EXPECT_EQ(shaper.Width(missing, "abc"), 0.0f);
  EXPECT_EQ(shaper.Metrics(missing).line_height_px, 0);
  EXPECT_TRUE(shaper.ShapeLines(missing, "abc", 10, false).empty());
  EXPECT_THAT(shaper.WrapLines(missing, "a b\nc", 1, false), ElementsAre("a b", "c"));
}

TEST(TextShaperTest, SizeOutsideTheRangeIsAnError) {
  TextShaper shaper;
  std::string error;
  for (int size : {0, -9, 1001}) {
    EXPECT_FALSE(shaper.Resolve({"Arial", size}, &error)) << size;
    EXPECT_THAT(error, StartsWith("Invalid font size: ")) << size;
    EXPECT_EQ(shaper.Shape({"Arial", size}, "a"), nullptr) << size;
  }
}

TEST(TextShaperTest, MetricsFollowTheWholePixelCharacterHeight) {
  TextShaper shaper;
  const struct {
    FontSpec spec;
    int char_px;
    int cell_px;
  } cases[] = {
      {{"ＭＳ Ｐゴシック", 9}, 12, 12}, {{"ＭＳ ゴシック", 10}, 13, 13},
      {{"ＭＳ Ｐ明朝", 11}, 15, 15},    {{"ＭＳ 明朝", 18}, 24, 24},
      {{"Arial", 10}, 13, 15},  // Arial's cell is taller than its characters
  };
  for (const auto& c : cases) {
    const FontMetrics m = shaper.Metrics(c.spec);
    EXPECT_EQ(m.char_height_px, c.char_px) << c.spec.name << " " << c.spec.size_pt;
    EXPECT_EQ(m.cell_height_px, c.cell_px) << c.spec.name << " " << c.spec.size_pt;
    EXPECT_EQ(m.line_height_px, c.cell_px + 2) << c.spec.name;
    EXPECT_NEAR(m.line_height_mm, (c.cell_px + 2) * kMmPerPx, 1e-5);
    EXPECT_GT(m.ascent_px, m.descent_px);
  }
}

TEST(TextShaperTest, ShapedLineCarriesGlyphsAtTheWholePixelEm) {
  TextShaper shaper;
  // Fixed pitch: a full-width character advances one em, 12 px at 9 pt; half-width half of it.
  const auto line = shaper.Shape(kGothic9, "日本ab");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->text, "日本ab");
  EXPECT_EQ(line->font, 1 - 1);
  EXPECT_FLOAT_EQ(line->size_pt, 9.0f);  // 12 px
  ASSERT_EQ(line->glyphs.size(), 4u);
  EXPECT_NEAR(line->glyphs[0].x, 0, 1e-5);
  EXPECT_NEAR(line->glyphs[1].x, 12 * kMmPerPx, 1e-4);
  EXPECT_NEAR(line->glyphs[2].x, 24 * kMmPerPx, 1e-4);
  EXPECT_NEAR(line->glyphs[3].x, 30 * kMmPerPx, 1e-4);
  EXPECT_NEAR(line->width, 36 * kMmPerPx, 1e-4);
  EXPECT_EQ(line->glyphs[2].cluster, 6u);  // byte offset of "a"
  for (const Glyph& g : line->glyphs) EXPECT_NE(g.id, 0u) << "missing glyph";
  // 11 pt is drawn at 15 px: the em to draw with is 11.25 pt, not 11.
  EXPECT_FLOAT_EQ(shaper.Shape({"ＭＳ ゴシック", 11}, "a")->size_pt, 11.25f);
}

TEST(TextShaperTest, EachDistinctTextIsShapedOnce) {
  TextShaper shaper;
  const auto first = shaper.Shape(kPGothic9, "カルテ番号");
  const auto again = shaper.Shape(kPGothic9, std::string("カルテ") + "番号");
  EXPECT_EQ(first.get(), again.get());
  EXPECT_EQ(shaper.cached_lines(), 1u);
  EXPECT_NE(shaper.Shape({"ＭＳ Ｐゴシック", 10}, "カルテ番号").get(), first.get());
  EXPECT_NE(shaper.Shape(kGothic9, "カルテ番号").get(), first.get());
  EXPECT_EQ(shaper.cached_lines(), 3u);
  EXPECT_EQ(shaper.Width(kPGothic9, "カルテ番号"), first->width);
}

TEST(TextShaperTest, AgingForgetsOnlyTheLinesNotAskedForSinceTheLastAging) {
  TextShaper shaper;
  const auto repeated = shaper.Shape(kPGothic9, "主病");
  const auto once = shaper.Shape(kPGothic9, "1234567");
  shaper.AgeLines();  // both were asked for in the period that ended: both stay
  EXPECT_EQ(shaper.cached_lines(), 2u);
  EXPECT_EQ(shaper.recent_lines(), 0u);
  // Asked for again, through wrapping as through Shape.
  EXPECT_EQ(shaper.ShapeLines(kPGothic9, "主病", 50, false).front().get(), repeated.get());
  EXPECT_EQ(shaper.recent_lines(), 1u);
  shaper.AgeLines();
  EXPECT_EQ(shaper.cached_lines(), 1u);
  EXPECT_EQ(shaper.Shape(kPGothic9, "主病").get(), repeated.get());
  const auto anew = shaper.Shape(kPGothic9, "1234567");
  EXPECT_NE(anew.get(), once.get());
  EXPECT_EQ(*anew, *once);
  shaper.ForgetLines();
  EXPECT_EQ(shaper.cached_lines(), 0u);
  EXPECT_NE(shaper.Shape(kPGothic9, "主病").get(), repeated.get());
}

TEST(TextShaperTest, ProportionalFaceSetsNarrowLettersCloser) {
  TextShaper shaper;
  // The fixed-pitch face gives every half-width letter the same advance, the proportional one not.
  EXPECT_FLOAT_EQ(shaper.Width(kGothic9, "iiii"), shaper.Width(kGothic9, "MMMM"));
  EXPECT_LT(shaper.Width(kPGothic9, "iiii"), shaper.Width(kPGothic9, "MMMM"));
  EXPECT_LT(shaper.Width(kPGothic9, "iiii"), shaper.Width(kGothic9, "iiii"));
  // The face names themselves: the proportional one is narrower.
  EXPECT_LT(shaper.Width(kPGothic9, "ＭＳ Ｐゴシック"), shaper.Width(kGothic9, "ＭＳ Ｐゴシック"));
}

TEST(TextShaperTest, JapaneseWrapsAfterTheLastCharacterThatFits) {
  TextShaper shaper;
  const float em = 12 * kMmPerPx;  // fixed pitch, 9 pt
  EXPECT_THAT(shaper.WrapLines(kGothic9, "傷病名の一覧表です", 3 * em + 0.1f, false),
              ElementsAre("傷病名", "の一覧", "表です"));
  EXPECT_THAT(shaper.WrapLines(kGothic9, "傷病名の一覧表です", 4 * em - 0.1f, false),
              ElementsAre("傷病名", "の一覧", "表です"));
  // Exactly three characters wide: three fit.
  EXPECT_THAT(shaper.WrapLines(kGothic9, "傷病名の一覧", shaper.Width(kGothic9, "傷病名"), false),
              ElementsAre("傷病名", "の一覧"));
}

TEST(TextShaperTest, LatinWrapsAtSpacesAndLongWordsByCharacters) {
  TextShaper shaper;
  const FontSpec arial{"Arial", 10};
  const float two_words = shaper.Width(arial, "alpha beta");
  EXPECT_THAT(shaper.WrapLines(arial, "alpha beta gamma", two_words, false),
              ElementsAre("alpha beta", "gamma"));
  EXPECT_THAT(shaper.WrapLines(arial, "alpha beta gamma", two_words - 0.01f, false),
              ElementsAre("alpha", "beta", "gamma"));
  const float five = shaper.Width(arial, "ABCDE");
  EXPECT_THAT(shaper.WrapLines(arial, "ABCDEFGHIJKL", five + 0.01f, false),
              ElementsAre("ABCDE", "FGHIJ", "KL"));
  EXPECT_THAT(shaper.WrapLines(arial, "no wrap at all here", kNoWrap, false),
              ElementsAre("no wrap at all here"));
}

TEST(TextShaperTest, ExplicitLineBreaksAlwaysEndALine) {
  TextShaper shaper;
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"", {""}},
      {"a\n", {"a", ""}},
      {"\r\n\r\n", {"", "", ""}},
      {"a\n\rb", {"a", "", "b"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shaper.WrapLines(kPGothic9, c.text, kNoWrap, false), c.lines);
    EXPECT_EQ(shaper.WrapLines(kPGothic9, c.text, 100, false), c.lines);
  }
}

TEST(TextShaperTest, RussianWordIsHyphenatedWhenAsked) {
  TextShaper shaper;
  const FontSpec mincho{"ＭＳ 明朝", 11};
  const std::string text = "Это заболевание";
  const float width = shaper.Width(mincho, "Это заболе");
  const std::vector<std::string> lines = shaper.WrapLines(mincho, text, width, true);
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_THAT(lines[0], StartsWith("Это за"));
  ASSERT_EQ(lines[0].back(), '-');
  EXPECT_EQ(lines[0].substr(0, lines[0].size() - 1) + lines[1], text);
  EXPECT_LE(shaper.Width(mincho, lines[0]), width);
  const auto shaped = shaper.ShapeLines(mincho, text, width, true);
  ASSERT_EQ(shaped.size(), 2u);
  EXPECT_EQ(shaped[0]->text, lines[0]);  // the hyphen is drawn too
  EXPECT_EQ(shaped[1]->text, lines[1]);
  // Without hyphenation the word moves to the next line (where, wider than the line in this
  // fixed-pitch face, it is broken by characters).
  const std::vector<std::string> plain = shaper.WrapLines(mincho, text, width, false);
  ASSERT_GE(plain.size(), 2u);
  EXPECT_EQ(plain[0], "Это");
  EXPECT_THAT(plain[1], StartsWith("заболе"));
}

TEST(TextShaperTest, ShapedLinesAreTheWrappedLinesAndFitTheWidth) {
  TextShaper shaper;
  const std::string text = "患者氏名 カルテ番号 傷病（薬品）名 診療(処方)開始日\n転帰";
  const float width = 20;
  const std::vector<std::string> wrapped = shaper.WrapLines(kPGothic9, text, width, false);
  const auto shaped = shaper.ShapeLines(kPGothic9, text, width, false);
  ASSERT_EQ(shaped.size(), wrapped.size());
  ASSERT_GT(shaped.size(), 2u);
  for (size_t i = 0; i < shaped.size(); ++i) {
    EXPECT_EQ(shaped[i]->text, wrapped[i]);
    EXPECT_LE(shaped[i]->width, width + 1e-4f) << wrapped[i];
    EXPECT_EQ(shaped[i].get(), shaper.Shape(kPGothic9, wrapped[i]).get());
  }
}

}  // namespace
}  // namespace re
