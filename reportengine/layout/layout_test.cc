// Band layout and pagination on real fonts, checked on the prepared pages in millimetres.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "reportengine/model/layout_memory_rows.h"
#include "reportengine/layout/layout_cache.h"
#include "reportengine/layout/report.h"
#include "reportengine/text/text_shaper.h"

namespace re {
namespace {

constexpr float kTol = 0.05f;  // layouts are checked to 0.1 mm
const float kInsetX = PxToMm(2);
const float kInsetY = PxToMm(1);

// A text item as a test looks at it.
struct Text {
  std::string text;
  float x, y;      // origin on the baseline
  RectMm box;      // the object's box (clip)
  float size_pt;
  float width;     // advance of the line
  float scale;     // horizontal scale of its glyphs (1: not narrowed)
};

std::vector<Text> Texts(const PreparedPage& page) {
  std::vector<Text> out;
  for (const PageItem& item : page.items) {
    if (const auto* t = std::get_if<TextItem>(&item)) {
      out.push_back({t->line->text, t->x, t->y, t->clip, t->line->size_pt, t->line->width,
                     t->line->scale});
    }
  }
  return out;
}

std::vector<std::string> Strings(const PreparedPage& page) {
  std::vector<std::string> out;
  for (const Text& t : Texts(page)) out.push_back(t.text);
  return out;
}

// The first text item showing `s` (a copy: callers often pass a temporary list).
std::optional<Text> FindText(const std::vector<Text>& texts, std::string_view s) {
  for (const Text& t : texts) {
    if (t.text == s) return t;
  }
  return std::nullopt;
}

std::vector<LineItem> Lines(const PreparedPage& page) {
  std::vector<LineItem> out;
  for (const PageItem& item : page.items) {
    if (const auto* l = std::get_if<LineItem>(&item)) out.push_back(*l);
  }
  return out;
}

std::vector<RectItem> Rects(const PreparedPage& page) {
  std::vector<RectItem> out;
  for (const PageItem& item : page.items) {
    if (const auto* r = std::get_if<RectItem>(&item)) out.push_back(*r);
  }
  return out;
}

TextObject Cell(std::string name, RectMm rect, std::string text,
                FontSpec font = {"ＭＳ Ｐゴシック", 9}) {
  return TextObject{.name = std::move(name), .rect = rect, .text = std::move(text), .font = font};
}

std::vector<std::vector<std::string>> Column(int n, const std::string& prefix = "r") {
  std::vector<std::vector<std::string>> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({prefix + std::to_string(i)});
  return rows;
}

// A plain list: page header, one fixed data band, page footer with the page number.
Template List(float margin, float header, float band, float footer) {
  return Template{
      .name = "list",
      .page = {.margins = {margin, margin, margin, margin}},
      .datasets = {"ds"},
      .bands = {
          {.name = "PageHeader1", .kind = BandKind::kPageHeader, .height = header,
           .objects = {Cell("Title", {67, 0.5f, 59, 7}, "TITLE", {"ＭＳ Ｐゴシック", 18})}},
          {.name = "MasterData1", .kind = BandKind::kMasterData, .height = band,
           .dataset = "ds",
           .objects = {Cell("Cell", {38.3f, 0.1f, 16, 4}, "[ds.\"Line1\"]")}},
          {.name = "PageFooter1", .kind = BandKind::kPageFooter, .height = footer,
           .objects = {TextObject{.name = "SysMemo3", .rect = {86, 0, 25, 5},
                                  .text = "[PAGE#]", .align = HAlign::kCenter}}},
      }};
}

struct Prepared {
  bool ok;
  PreparedReport report;
  std::vector<std::string> errors;
};

Prepared Prepare(Template t, RowSource* rows, RowRule rule = {}) {
  Report report(std::move(t));
  report.AddDataset({"ds", rows});
  report.set_row_rule(std::move(rule));
  const bool ok = report.PrepareReport(true);
  return {ok, report.prepared(), report.errors()};
}

TEST(PaginationTest, PageCapacitiesOfTheLists) {
  struct Case {
    float margin, header, band, footer;
    int capacity;
  };
  const Case cases[] = {
      // The check-result lists, the extraction-condition list, the patient list.
      {.margin = 5, .header = 8.0f, .band = 4.0f, .footer = 6.0f, .capacity = 68},
      {.margin = 5, .header = 14.6f, .band = 4.0f, .footer = 6.0f, .capacity = 66},
      {.margin = 5, .header = 15.0f, .band = 6.0f, .footer = 6.0f, .capacity = 44},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    MemoryRows full({"Line1"}, Column(c.capacity));
    Prepared one = Prepare(List(c.margin, c.header, c.band, c.footer), &full);
    ASSERT_TRUE(one.ok);
    ASSERT_EQ(one.report.pages.size(), 1u);

    MemoryRows more({"Line1"}, Column(c.capacity + 1));
    Prepared two = Prepare(List(c.margin, c.header, c.band, c.footer), &more);
    ASSERT_EQ(two.report.pages.size(), 2u);
    const std::vector<Text> page2 = Texts(two.report.pages[1]);
    // Page 2: header again, the one remaining row right below it, footer with "2".
    ASSERT_TRUE(FindText(page2, "TITLE").has_value());
    const std::optional<Text> row = FindText(page2, "r" + std::to_string(c.capacity + 1));
    ASSERT_TRUE(row.has_value());
    EXPECT_NEAR(row->box.top, c.margin + c.header + 0.1f, kTol);
    EXPECT_NEAR(row->box.left, c.margin + 38.3f, kTol);
    const std::optional<Text> number = FindText(page2, "2");
    ASSERT_TRUE(number.has_value());
    EXPECT_NEAR(number->box.top, 297 - c.margin - c.footer, kTol);
    EXPECT_FALSE(
        FindText(Texts(two.report.pages[0]), "r" + std::to_string(c.capacity + 1)).has_value());
    // The last row of page 1 sits directly above where the footer begins, or higher.
    const std::optional<Text> last = FindText(Texts(two.report.pages[0]), "r" + std::to_string(c.capacity));
    ASSERT_TRUE(last.has_value());
    EXPECT_LE(last->box.top - 0.1f + c.band, 297 - c.margin - c.footer + 0.001f);
  }
}

TEST(PaginationTest, EmptyDatasetGivesOnePageWithHeaderAndFooter) {
  MemoryRows empty({"Line1"}, {});
  Prepared p = Prepare(List(5, 8, 4, 6), &empty);
  EXPECT_TRUE(p.ok);
  ASSERT_EQ(p.report.pages.size(), 1u);
  EXPECT_EQ(Strings(p.report.pages[0]), (std::vector<std::string>{"TITLE", "1"}));

  Template no_header = List(5, 8, 4, 6);
  no_header.bands.erase(no_header.bands.begin());
  p = Prepare(no_header, &empty);
  ASSERT_EQ(p.report.pages.size(), 1u);
  EXPECT_EQ(Strings(p.report.pages[0]), (std::vector<std::string>{"1"}));
}

// Rows are read forward: the page header sees the first row, the page footer at the end the last,
// and a second data band on the same dataset reads the rows again from the first.
TEST(PaginationTest, HeaderSeesTheFirstRowFooterTheLastAndASecondBandReadsAgain) {
  MemoryRows rows({"Line1"}, Column(3));
  Template t = List(5, 8, 4, 6);
  t.bands[0].objects.push_back(Cell("HeaderRow", {10, 0.5f, 20, 5}, "[ds.\"Line1\"]"));
  t.bands[2].objects.push_back(Cell("FooterRow", {10, 0, 20, 5}, "[ds.\"Line1\"]"));
  Band second = t.bands[1];
  second.name = "MasterData2";
  t.bands.insert(t.bands.begin() + 2, second);
  Prepared p = Prepare(t, &rows);
  EXPECT_TRUE(p.ok);
  ASSERT_EQ(p.report.pages.size(), 1u);
  EXPECT_EQ(Strings(p.report.pages[0]),
            (std::vector<std::string>{"TITLE", "r1", "r1", "r2", "r3", "r1", "r2", "r3", "1", "r3"}));
}

TEST(PaginationTest, NullsPrintEmptyAndKeepTheRowHeight) {
  MemoryRows rows({"Line1"}, {{"a"}, {""}, {"c"}});
  Prepared p = Prepare(List(5, 8, 4, 6), &rows);
  const std::vector<Text> texts = Texts(p.report.pages[0]);
  EXPECT_EQ(Strings(p.report.pages[0]), (std::vector<std::string>{"TITLE", "a", "c", "1"}));
  EXPECT_NEAR(FindText(texts, "c")->box.top - FindText(texts, "a")->box.top, 8.0f, kTol);
}

TEST(TextObjectTest, CharacterHeightInsetsAndPageFooterPosition) {
  MemoryRows rows({"Line1"}, {{"x"}});
  Prepared p = Prepare(List(5, 8, 4, 6), &rows);
  TextShaper shaper;
  const FontMetrics m9 = shaper.Metrics({"ＭＳ Ｐゴシック", 9});
  EXPECT_EQ(m9.char_height_px, 12);
  const std::optional<Text> cell = FindText(Texts(p.report.pages[0]), "x");
  ASSERT_TRUE(cell.has_value());
  EXPECT_NEAR(cell->x, 5 + 38.3f + kInsetX, 0.01f);
  EXPECT_NEAR(cell->y, 5 + 8 + 0.1f + kInsetY + m9.ascent_mm, 0.01f);
  EXPECT_FLOAT_EQ(cell->size_pt, 9.0f);
}

TEST(TextObjectTest, AutoWidthKeepsTheLeftEdgeAndNeverWraps) {
  const std::string long_value(30, '8');
  MemoryRows rows({"Line1"}, {{"1"}, {long_value}});
  Template t = List(5, 8, 4, 6);
  TextObject& cell = std::get<TextObject>(t.bands[1].objects[0]);
  cell.rect = {1.0f, 0, 21, 4};
  cell.auto_width = true;
  Prepared p = Prepare(t, &rows);
  TextShaper shaper;
  const std::vector<Text> texts = Texts(p.report.pages[0]);
  for (const std::string& value : {std::string("1"), long_value}) {
    const std::optional<Text> text = FindText(texts, value);
    ASSERT_TRUE(text.has_value()) << value << ": one line, not wrapped";
    EXPECT_NEAR(text->box.left, 6.0f, 0.01f);
    EXPECT_NEAR(text->box.width, shaper.Width({"ＭＳ Ｐゴシック", 9}, value) + 2 * kInsetX, 0.01f);
  }
  // The long value runs on over the next column's space.
  EXPECT_GT(FindText(texts, long_value)->box.left + FindText(texts, long_value)->box.width,
            5 + 38.3f);
}

TEST(TextObjectTest, OneCharacterStandsInTheMiddleOfACentredCell) {
  for (float width : {4.0f, 5.0f, 9.0f}) {
    MemoryRows rows({"Line1"}, {{"1"}, {"済"}});
    Template t = List(5, 15, 6, 6);
    TextObject& cell = std::get<TextObject>(t.bands[1].objects[0]);
    cell.rect = {58.5f, 0, width, 5};
    cell.font = {"ＭＳ Ｐゴシック", 10};
    cell.align = HAlign::kCenter;
    Prepared p = Prepare(t, &rows);
    for (const char* value : {"1", "済"}) {
      const std::optional<Text> text = FindText(Texts(p.report.pages[0]), value);
      ASSERT_TRUE(text.has_value());
      EXPECT_NEAR(text->x + text->width / 2, 5 + 58.5f + width / 2, 0.01f) << value << width;
    }
  }
}

TEST(TextObjectTest, WrapsLatinAtSpacesAndJapaneseAnywhereThenCutsOff) {
  TextShaper shaper;
  const FontSpec font{"ＭＳ Ｐゴシック", 9};
  const std::string latin = "alpha beta gamma delta epsilon";
  const std::string japanese = "診療行為名称等の長い表示文言が折り返されること";
  MemoryRows rows({"Line1"}, {{latin}, {japanese}});
  Template t = List(5, 8, 4, 6);
  TextObject& cell = std::get<TextObject>(t.bands[1].objects[0]);
  cell.rect = {10, 0, 20, 4};
  cell.grow_height = true;
  t.bands[1].stretched = true;
  Prepared p = Prepare(t, &rows);
  const std::vector<Text> texts = Texts(p.report.pages[0]);
  std::string joined_latin, joined_japanese;
  int latin_lines = 0, japanese_lines = 0;
  for (const Text& text : texts) {
    if (text.box.left < 14 || text.box.left > 16) continue;
    EXPECT_LE(text.width, 20 - 2 * kInsetX + 0.001f) << text.text;
    if (text.text.front() >= 'a' && text.text.front() <= 'z') {
      EXPECT_NE(text.text.front(), ' ');
      EXPECT_NE(text.text.back(), ' ') << "the spaces at a break are dropped";
      joined_latin += (joined_latin.empty() ? "" : " ") + text.text;
      ++latin_lines;
    } else {
      joined_japanese += text.text;
      ++japanese_lines;
    }
  }
  EXPECT_GT(latin_lines, 1);
  EXPECT_GT(japanese_lines, 1);
  EXPECT_EQ(joined_latin, latin);
  EXPECT_EQ(joined_japanese, japanese);

  // In a fixed 4 mm cell only the first line shows; lines below the box are not drawn at all.
  cell.grow_height = false;
  t.bands[1].stretched = false;
  Prepared fixed = Prepare(t, &rows);
  for (const Text& text : Texts(fixed.report.pages[0])) {
    if (text.box.left < 14 || text.box.left > 16) continue;
    EXPECT_NEAR(text.box.height, 4.0f, 0.001f);
    EXPECT_LT(text.y - shaper.Metrics(font).ascent_mm, text.box.top + text.box.height);
  }
}

// A text that cannot grow and needs more lines than its box shows is narrowed, as little as
// makes it fit the lines shown and never below 70 %; one that fits is left alone, one that needs
// more is cut off as before. The box, its position and the band's height never change.
TEST(TextObjectTest, TooWideTextIsNarrowedIntoTheLinesItsBoxShows) {
  TextShaper shaper;
  const FontSpec font{"ＭＳ Ｐゴシック", 9};
  const std::string text = "項番・区分・診療行為名称等";
  const float full = shaper.Width(font, text);
  const float one_line = 4, two_lines = 8;  // box heights (a 9 pt line takes 3.7 mm)
  struct Case {
    const char* name;
    float room;    // width for the text, as a share of its full width
    float height;
    size_t lines;  // lines drawn
    float min_scale, max_scale;
  } cases[] = {
      {.name = "fits", .room = 1.02f, .height = one_line, .lines = 1, .min_scale = 1,
       .max_scale = 1},
      {.name = "a little too wide", .room = 0.95f, .height = one_line, .lines = 1,
       .min_scale = 0.949f, .max_scale = 0.951f},
      {.name = "just above 70 %", .room = 0.71f, .height = one_line, .lines = 1,
       .min_scale = 0.709f, .max_scale = 0.711f},
      {.name = "needs less than 70 %: cut", .room = 0.65f, .height = one_line, .lines = 2,
       .min_scale = 1, .max_scale = 1},
      {.name = "three lines into two", .room = 0.45f, .height = two_lines, .lines = 2,
       .min_scale = 0.7f, .max_scale = 0.99f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRows rows({"Line1"}, {{text}});
    Template t = List(5, 8, 9, 6);
    TextObject& cell = std::get<TextObject>(t.bands[1].objects[0]);
    cell.font = font;
    cell.rect = {10, 0.5f, full * c.room + 2 * kInsetX, c.height};
    Prepared p = Prepare(t, &rows);
    ASSERT_TRUE(p.ok);
    std::vector<Text> lines;
    for (const Text& item : Texts(p.report.pages[0])) {
      if (item.box.left > 14 && item.box.left < 16) lines.push_back(item);
    }
    ASSERT_EQ(lines.size(), c.lines);
    std::string joined;
    float line_top = 5 + 8 + 0.5f + kInsetY;
    for (const Text& line : lines) {
      joined += line.text;
      std::printf("%s: \"%s\" at %.4f\n", c.name, line.text.c_str(), line.scale);
      EXPECT_GE(line.scale, c.min_scale);
      EXPECT_LE(line.scale, c.max_scale);
      EXPECT_EQ(line.box, (RectMm{15, 13.5f, cell.rect.width, c.height}));
      EXPECT_NEAR(line.y - shaper.Metrics(font).ascent_mm, line_top, 0.001f);
      line_top += shaper.Metrics(font).line_height_mm;
      if (c.min_scale < 1) {
        EXPECT_LE(line.width, cell.rect.width - 2 * kInsetX + 0.001f);
      }
    }
    if (c.min_scale < 1) {
      EXPECT_EQ(joined, text) << "the whole text is drawn";
    }
    // The next row starts where it always does.
    MemoryRows two({"Line1"}, {{text}, {"next"}});
    const std::optional<Text> next = FindText(Texts(Prepare(t, &two).report.pages[0]), "next");
    ASSERT_TRUE(next);
    EXPECT_NEAR(next->box.top, 13.5f + 9, kTol);

    // A growing cell grows instead.
    cell.grow_height = true;
    for (const Text& item : Texts(Prepare(t, &rows).report.pages[0])) EXPECT_EQ(item.scale, 1);
  }
}

// The check-list entry: a growing text, a check box beside it and a dotted line below it.
Template CheckList() {
  return Template{
      .name = "checklist",
      .datasets = {"ds"},
      .bands = {
          {.name = "MasterData1", .kind = BandKind::kMasterData, .height = 11.5f,
           .dataset = "ds", .stretched = true,
           .objects = {TextObject{.name = "Entry", .rect = {18.4f, 1.1f, 161, 5},
                                  .text = "[ds.\"Line3\"]", .font = {"ＭＳ Ｐ明朝", 11},
                                  .grow_height = true},
                       RectObject{.name = "Box", .rect = {13.4f, 2.1f, 3, 3}},
                       LineObject{.name = "Dots", .left = 19.3f, .top = 7.9f, .width = 160,
                                  .style = LineStyle::kDot}}},
          {.name = "PageFooter1", .kind = BandKind::kPageFooter, .height = 6,
           .objects = {TextObject{.name = "SysMemo1", .rect = {86, 1, 15, 5}, .text = "[PAGE#]"}}},
      }};
}

// A long list of distinct numbers among repeated values: a trim forgets the numbers of the
// period before the last trim but keeps every block asked for since then, at the same address.
TEST(LayoutCacheTest, TrimKeepsTheBlocksAskedForSinceTheLastTrim) {
  LayoutCache cache;
  const FontSpec font{"ＭＳ ゴシック", 9};
  auto block = [&](const std::string& text) { return &cache.Block(font, text, 20, false); };
  auto fill_period = [&](const std::string& prefix) {
    for (size_t i = 0; i <= LayoutCache::kTrimAtTexts; ++i) block(prefix + std::to_string(i));
  };
  const TextBlock* repeated = block("主病");
  fill_period("a");
  const std::shared_ptr<const ShapedLine> a0 = block("a0")->lines.front();
  const std::shared_ptr<const ShapedLine> a1 = block("a1")->lines.front();
  cache.TrimBetweenPages();  // everything was asked for in the period that ended
  EXPECT_EQ(block("主病"), repeated);
  EXPECT_EQ(block("a0")->lines.front(), a0);
  fill_period("b");
  cache.TrimBetweenPages();  // "a1" and the other numbers of "a" were not asked for again
  EXPECT_EQ(block("主病"), repeated);
  EXPECT_EQ(block("a0")->lines.front(), a0);
  const std::shared_ptr<const ShapedLine> a1_anew = block("a1")->lines.front();
  EXPECT_NE(a1_anew, a1);
  EXPECT_EQ(*a1_anew, *a1);
  EXPECT_LE(cache.shaper().cached_lines(), 2 * LayoutCache::kTrimAtTexts + 8);
  const uint64_t generation = cache.generation();
  cache.ClearBlocks();
  EXPECT_NE(cache.generation(), generation);
}

TEST(BandLayoutTest, ThreeLineTextGrowsAndTheDottedLineMovesUnderIt) {
  MemoryRows rows({"Line3"}, {{"一行"}, {"一\n二\n三"}, {""}, {"次"}});
  Prepared p = Prepare(CheckList(), &rows);
  ASSERT_TRUE(p.ok);
  const PreparedPage& page = p.report.pages[0];
  const std::vector<LineItem> dots = Lines(page);
  const std::vector<RectItem> boxes = Rects(page);
  ASSERT_EQ(dots.size(), 4u);
  ASSERT_EQ(boxes.size(), 4u);
  // 11 pt Mincho: 15 px lines 2 px apart, inset 1 px above and below.
  const float three_lines = PxToMm(3 * 17 + 2);
  const float growth = three_lines - 5.0f;
  const float row_tops[] = {10, 17.9f, 17.9f + 7.9f + growth, 17.9f + 7.9f + growth + 7.9f};
  for (int i = 0; i < 4; ++i) {
    const float extra = i == 1 ? growth : 0;
    EXPECT_NEAR(dots[i].y1, row_tops[i] + 7.9f + extra, kTol) << i;
    EXPECT_EQ(dots[i].style, LineStyle::kDot);
    EXPECT_NEAR(boxes[i].rect.top, row_tops[i] + 2.1f, kTol) << "the box stays beside line 1";
  }
  EXPECT_NEAR(growth, 2 * PxToMm(17), 0.1f) << "grows by two line heights";
  const std::vector<Text> texts = Texts(page);
  const std::optional<Text> third = FindText(texts, "三");
  ASSERT_TRUE(third.has_value());
  EXPECT_NEAR(third->box.height, three_lines, kTol);
  EXPECT_LT(third->y, dots[1].y1);
  EXPECT_GT(third->y, dots[1].y1 - PxToMm(17));
  // An empty entry keeps its one-line height.
  EXPECT_NEAR(dots[2].y1 - row_tops[2], 7.9f, kTol);
}

TEST(BandLayoutTest, ObjectBelowTwoGrowingCellsMovesByTheLargerGrowth) {
  Template t{
      .name = "twocolumns",
      .datasets = {"ds"},
      .bands = {{.name = "MasterData1", .kind = BandKind::kMasterData, .height = 13,
                 .dataset = "ds", .stretched = true,
                 .objects = {
                     TextObject{.name = "L4", .rect = {1.9f, 0.7f, 89.8f, 5},
                                .text = "[ds.\"Line4\"]", .font = {"ＭＳ 明朝", 11},
                                .grow_height = true, .word_break = true},
                     TextObject{.name = "L5", .rect = {98.7f, 1.0f, 89, 5},
                                .text = "[ds.\"Line5\"]", .font = {"ＭＳ 明朝", 11},
                                .grow_height = true, .word_break = true},
                     TextObject{.name = "L6", .rect = {5, 6, 182, 5}, .text = "[ds.\"Line6\"]",
                                .font = {"ＭＳ 明朝", 11}, .color = kBlue,
                                .grow_height = true}}}}};
  MemoryRows rows({"Line4", "Line5", "Line6"},
                  {{"a", "b", "six1"},
                   {"a\nb", "c\nd\ne", "six2"},
                   {"a\nb\nc\nd", "e", "six3\nmore"},
                   {"x", "y", "six4"}});
  Prepared p = Prepare(t, &rows);
  ASSERT_TRUE(p.ok) << (p.errors.empty() ? "" : p.errors[0]);
  const std::vector<Text> texts = Texts(p.report.pages[0]);
  const float line = PxToMm(17);
  auto growth = [&](int lines) { return std::max(0.0f, PxToMm(lines * 17 + 2) - 5.0f); };
  // Row heights: 11.0 plus the push from above plus Line6's own growth.
  const float h1 = 11.0f;
  const float h2 = 11.0f + growth(3);
  const float h3 = 11.0f + growth(4) + growth(2);
  const float tops[] = {10, 10 + h1, 10 + h1 + h2, 10 + h1 + h2 + h3};
  EXPECT_NEAR(FindText(texts, "six1")->box.top, tops[0] + 6, kTol);
  EXPECT_NEAR(FindText(texts, "six2")->box.top, tops[1] + 6 + growth(3), kTol)
      << "pushed by the longer right-hand cell";
  EXPECT_NEAR(FindText(texts, "six3")->box.top, tops[2] + 6 + growth(4), kTol)
      << "pushed by the longer left-hand cell";
  EXPECT_NEAR(FindText(texts, "more")->y - FindText(texts, "six3")->y, line, 0.01f);
  EXPECT_NEAR(FindText(texts, "six4")->box.top, tops[3] + 6, kTol);
  EXPECT_NEAR(FindText(texts, "e")->box.top, tops[1] + 1.0f, kTol) << "cells beside stay";
}

TEST(BandLayoutTest, RowThatDoesNotFitMovesWholeToTheNextPage) {
  // 277 mm printable, 6 mm footer: 34 one-line entries of 7.9 mm fill 268.6 mm.
  MemoryRows rows({"Line3"}, Column(34, "e"));
  rows.AddRow({"a\nb\nc"});
  Prepared p = Prepare(CheckList(), &rows);
  ASSERT_EQ(p.report.pages.size(), 2u);
  const std::vector<Text> page2 = Texts(p.report.pages[1]);
  ASSERT_TRUE(FindText(page2, "a").has_value());
  ASSERT_TRUE(FindText(page2, "c").has_value());
  EXPECT_NEAR(FindText(page2, "a")->box.top, 10 + 1.1f, kTol);
  EXPECT_FALSE(FindText(Texts(p.report.pages[0]), "a").has_value());
  EXPECT_TRUE(FindText(Texts(p.report.pages[0]), "e34").has_value());
}

TEST(BandLayoutTest, RowTallerThanAPageGetsAPageOfItsOwnInsteadOfEndlessPages) {
  std::string huge;
  for (int i = 0; i < 80; ++i) huge += "行\n";
  MemoryRows rows({"Line3"}, {{"e1"}, {huge}, {"e2"}});
  Prepared p = Prepare(CheckList(), &rows);
  ASSERT_EQ(p.report.pages.size(), 3u);
  EXPECT_TRUE(FindText(Texts(p.report.pages[0]), "e1").has_value());
  const std::vector<Text> page2 = Texts(p.report.pages[1]);
  ASSERT_TRUE(FindText(page2, "行").has_value());
  EXPECT_NEAR(FindText(page2, "行")->box.top, 10 + 1.1f, kTol);
  EXPECT_EQ(Texts(p.report.pages[2]).front().text, "e2");
  EXPECT_NEAR(Texts(p.report.pages[2]).front().box.top, 10 + 1.1f, kTol);
}

TEST(BandLayoutTest, InvisibleObjectsAreNeitherDrawnNorCounted) {
  Template t = CheckList();
  auto& objects = t.bands[0].objects;
  std::get<LineObject>(objects[2]).visible = false;  // the band now ends with the text
  MemoryRows rows({"Line3"}, {{"a"}, {"b"}});
  Prepared p = Prepare(t, &rows);
  const std::vector<Text> texts = Texts(p.report.pages[0]);
  EXPECT_TRUE(Lines(p.report.pages[0]).empty());
  EXPECT_NEAR(FindText(texts, "b")->box.top - FindText(texts, "a")->box.top, 1.1f + 5.0f, kTol);
}

TEST(BandLayoutTest, WordBreakSplitsCyrillicWordsWithAHyphen) {
  Template t = CheckList();
  TextObject& entry = std::get<TextObject>(t.bands[0].objects[0]);
  entry.rect.width = 30;
  const std::string word = "достопримечательность";
  MemoryRows rows({"Line3"}, {{word + " " + word}});
  for (bool word_break : {false, true}) {
    entry.word_break = word_break;
    Prepared p = Prepare(t, &rows);
    int hyphenated = 0;
    for (const Text& text : Texts(p.report.pages[0])) {
      if (text.text.size() > 1 && text.text.back() == '-') ++hyphenated;
      EXPECT_LE(text.width, 30 - 2 * kInsetX + 0.001f);
    }
    EXPECT_EQ(hyphenated > 0, word_break) << word_break;
  }
}

TEST(RowRuleTest, ChartNumberSizeIsDecidedAnewForEveryRow) {
  Template t = List(5, 15, 6, 6);
  TextObject& cell = std::get<TextObject>(t.bands[1].objects[0]);
  cell.name = "DBDataset3Line1";
  cell.rect = {0.5f, 0, 17, 4};
  cell.font = {"ＭＳ Ｐゴシック", 10};
  cell.auto_width = true;
  RowRule rule = [](const RowFields& row) -> RowOverrides {
    const std::string_view value = row.Value("line1");
    size_t characters = 0;
    for (char c : value) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (characters < 8) return {};  // as designed
    return {{.object = "dbdataset3line1", .font_size_pt = 7}};
  };
  MemoryRows rows({"Line1"}, {{"1234567"}, {"12345678"}, {"７６５４３２１"}, {""}, {"AB"}});
  Prepared p = Prepare(t, &rows, rule);
  ASSERT_TRUE(p.ok);
  const std::vector<Text> texts = Texts(p.report.pages[0]);
  // Whole-pixel character heights: 10 pt is drawn 13 px (9.75 pt), 7 pt 9 px (6.75 pt).
  EXPECT_FLOAT_EQ(FindText(texts, "1234567")->size_pt, 9.75f);
  EXPECT_FLOAT_EQ(FindText(texts, "12345678")->size_pt, 6.75f);
  EXPECT_FLOAT_EQ(FindText(texts, "７６５４３２１")->size_pt, 9.75f) << "7 characters, not bytes";
  EXPECT_FLOAT_EQ(FindText(texts, "AB")->size_pt, 9.75f) << "back to 10 pt after a 7 pt row";
  TextShaper shaper;
  EXPECT_NEAR(FindText(texts, "12345678")->box.width,
              shaper.Width({"ＭＳ Ｐゴシック", 7}, "12345678") + 2 * kInsetX, 0.01f)
      << "auto width follows the chosen size";
}

// A row's overrides hold for that row only, also when its band moves on to the next page, and
// the template stays as designed.
TEST(RowRuleTest, OverridesHoldForTheirRowOnlyAndLeaveTheTemplate) {
  Template t = List(5, 15, 6, 6);  // 44 rows a page: r45 is laid out again on page 2
  std::get<TextObject>(t.bands[1].objects[0]).font = {"ＭＳ Ｐゴシック", 10};
  MemoryRows rows({"Line1"}, Column(45));
  Report report(t);
  report.AddDataset({"ds", &rows});
  report.set_row_rule([](const RowFields& row) -> RowOverrides {
    if (row.Value("Line1") != "r44" && row.Value("Line1") != "r45") return {};
    return {{.object = "Cell", .font_size_pt = 7}};
  });
  ASSERT_TRUE(report.PrepareReport(true));
  const std::vector<PreparedPage>& pages = report.prepared().pages;
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_FLOAT_EQ(FindText(Texts(pages[0]), "r43")->size_pt, 9.75f);
  EXPECT_FLOAT_EQ(FindText(Texts(pages[0]), "r44")->size_pt, 6.75f);
  EXPECT_FALSE(FindText(Texts(pages[0]), "r45"));
  EXPECT_FLOAT_EQ(FindText(Texts(pages[1]), "r45")->size_pt, 6.75f);
  EXPECT_EQ(std::get<TextObject>(report.layout().bands[1].objects[0]).font.size_pt, 10);
}

// A grouped list: data header, two group levels, data band, footer; each band prints a marker.
Template Grouped(float data_height = 7.9f) {
  auto marker = [](std::string name, std::string text) {
    return TextObject{.name = std::move(name), .rect = {10, 0.5f, 170, 6}, .text = std::move(text),
                      .font = {"ＭＳ ゴシック", 12}};
  };
  return Template{
      .name = "grouped",
      .datasets = {"ds"},
      .bands = {
          {.name = "Header1", .kind = BandKind::kDataHeader, .height = 13,
           .objects = {marker("Title", "T:[ds.\"LINE7\"]")}},
          {.name = "GroupHeader1", .kind = BandKind::kGroupHeader, .height = 10,
           .condition = "ds.\"Line1\"", .objects = {marker("G1", "G1:[ds.\"Line1\"]")}},
          {.name = "GroupHeader2", .kind = BandKind::kGroupHeader, .height = 9,
           .condition = "ds.\"Line2\"", .objects = {marker("G2", "G2:[ds.\"Line2\"]")}},
          {.name = "MasterData1", .kind = BandKind::kMasterData, .height = data_height,
           .dataset = "ds", .objects = {marker("D", "D:[ds.\"Line3\"]")}},
          {.name = "PageFooter1", .kind = BandKind::kPageFooter, .height = 6,
           .objects = {TextObject{.name = "SysMemo1", .rect = {86, 1, 15, 5}, .text = "[PAGE#]"}}},
      }};
}

TEST(GroupTest, HeadersFollowKeyChangesInRowOrder) {
  struct Case {
    const char* what;
    std::vector<std::vector<std::string>> rows;  // Line1, Line2, Line3, LINE7
    std::vector<std::string> printed;
  };
  const Case cases[] = {
      {"A,A,B",
       {{"A", "x", "1", "title"}, {"A", "x", "2", "other"}, {"B", "x", "3", "other"}},
       {"T:title", "G1:A", "G2:x", "D:1", "D:2", "G1:B", "G2:x", "D:3", "1"}},
      {"A then B then A again",
       {{"A", "x", "1", "t"}, {"B", "x", "2", "t"}, {"A", "x", "3", "t"}},
       {"T:t", "G1:A", "G2:x", "D:1", "G1:B", "G2:x", "D:2", "G1:A", "G2:x", "D:3", "1"}},
      {"inner change only",
       {{"A", "x", "1", "t"}, {"A", "y", "2", "t"}},
       {"T:t", "G1:A", "G2:x", "D:1", "G2:y", "D:2", "1"}},
      {"empty keys form one group",
       {{"", "", "1", "t"}, {"", "", "2", "t"}},
       {"T:t", "G1:", "G2:", "D:1", "D:2", "1"}},
      {"no rows", {}, {"1"}},
  };
  for (const Case& c : cases) {
    MemoryRows rows({"Line1", "Line2", "Line3", "LINE7"}, c.rows);
    Prepared p = Prepare(Grouped(), &rows);
    ASSERT_EQ(p.report.pages.size(), 1u) << c.what;
    EXPECT_EQ(Strings(p.report.pages[0]), c.printed) << c.what;
  }
}

TEST(GroupTest, DataHeaderOnlyOnPageOneAndHeadersNotRepeatedOnANewPage) {
  // 277 mm less the 6 mm footer leaves 271 mm: 13 + 10 + 9 + 29 × 8.0 = 264, so row 30 (ending
  // at 272) goes to page 2.
  std::vector<std::vector<std::string>> data;
  for (int i = 1; i <= 40; ++i) data.push_back({"A", "x", std::to_string(i), "t"});
  MemoryRows rows({"Line1", "Line2", "Line3", "LINE7"}, data);
  Prepared p = Prepare(Grouped(8.0f), &rows);
  ASSERT_EQ(p.report.pages.size(), 2u);
  const std::vector<std::string> page1 = Strings(p.report.pages[0]);
  const std::vector<std::string> page2 = Strings(p.report.pages[1]);
  EXPECT_EQ(page1.front(), "T:t");
  EXPECT_EQ(page1[page1.size() - 2], "D:29");
  ASSERT_FALSE(page2.empty());
  EXPECT_EQ(page2.front(), "D:30") << "page 2 begins with the next entry";
  EXPECT_EQ(page2.back(), "2");
  EXPECT_NEAR(FindText(Texts(p.report.pages[1]), "D:30")->box.top, 10.5f, kTol);
}

}  // namespace
}  // namespace re
