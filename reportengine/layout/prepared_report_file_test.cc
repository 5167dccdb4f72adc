#include "reportengine/layout/prepared_report_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "reportengine/text/font_resolver.h"

namespace re {
namespace {

PreparedReport Sample() {
  PreparedReport report;
  // Saved on a machine that keeps its fonts in another folder.
  report.fonts = {{"ＭＳ Ｐゴシック", "/opt/other-machine/fonts/ipagp.ttf", 0},
                  {"Arial", "/opt/other-machine/fonts/LiberationSans-Regular.ttf", 0}};
  auto shared = std::make_shared<ShapedLine>();
  shared->font = 0;
  shared->size_pt = 11.25f;
  shared->text = "患者氏名";
  shared->glyphs = {{10, 0, 0.0f, 0.0f}, {11, 3, 3.97f, 0.0f}, {12, 6, 7.94f, -0.1f}};
  shared->width = 15.875f;
  auto other = std::make_shared<ShapedLine>();
  other->font = 1;
  other->text = "1";
  other->glyphs = {{20, 0, 0, 0}};
  other->width = 1.8f;
  other->scale = 0.8125f;  // narrowed into its box

  PreparedPage first;
  first.items.push_back(TextItem{shared, 6.0f, 8.1f, Color{0, 0, 255}, {5, 5, 17, 4}});
  first.items.push_back(LineItem{5, 19, 205, 19, 0.2646f, Color{}, LineStyle::kDot});
  RectItem filled{{6, 30, 188, 8}, Color{0, 255, 255}, Color{}, 0.2646f};
  first.items.push_back(filled);
  RectItem open{{7, 40, 3, 3}, std::nullopt, Color{1, 2, 3}, 0.53f};
  first.items.push_back(open);
  RectItem fill_only{{7, 50, 3, 3}, Color{9, 9, 9}, std::nullopt, 0.26f};
  first.items.push_back(fill_only);
  PreparedPage second;
  second.width = 297;
  second.height = 210;
  second.items.push_back(TextItem{shared, 6.0f, 12.1f, Color{}, {5, 9, 17, 4}});
  second.items.push_back(TextItem{other, 100.0f, 290.0f, Color{}, {86, 287, 25, 5}});
  report.pages = {first, second, PreparedPage{}};
  return report;
}

TEST(PreparedReportFileTest, RoundTripKeepsEveryItemAndSharing) {
  const PreparedReport original = Sample();
  const std::string bytes = SerializePreparedReport(original);
  std::string error;
  const std::optional<PreparedReport> read = ParsePreparedReport(bytes, &error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(SerializePreparedReport(*read), bytes);

  ASSERT_EQ(read->fonts.size(), 2u);
  EXPECT_EQ(read->fonts[0], (FontFace{"ＭＳ Ｐゴシック", "ipagp.ttf", 0}));
  EXPECT_EQ(read->fonts[1], (FontFace{"Arial", "LiberationSans-Regular.ttf", 0}));
  EXPECT_EQ(bytes.find("/opt/other-machine"), std::string::npos) << "no font folder is stored";
  ASSERT_EQ(read->pages.size(), 3u);
  EXPECT_EQ(read->pages[1].width, 297);
  EXPECT_TRUE(read->pages[2].items.empty());
  const auto& t0 = std::get<TextItem>(read->pages[0].items[0]);
  const auto& t1 = std::get<TextItem>(read->pages[1].items[0]);
  EXPECT_EQ(*t0.line, *std::get<TextItem>(original.pages[0].items[0]).line);
  EXPECT_EQ(t0.line, t1.line) << "a line shown twice is stored and read back once";
  EXPECT_EQ(std::get<TextItem>(read->pages[1].items[1]).line->scale, 0.8125f);
  EXPECT_EQ(t0.color, (Color{0, 0, 255}));
  EXPECT_EQ(t0.clip, (RectMm{5, 5, 17, 4}));
  const auto& line = std::get<LineItem>(read->pages[0].items[1]);
  EXPECT_EQ(line.style, LineStyle::kDot);
  EXPECT_EQ(line.x2, 205);
  const auto& filled = std::get<RectItem>(read->pages[0].items[2]);
  EXPECT_EQ(filled.fill, (Color{0, 255, 255}));
  EXPECT_FALSE(std::get<RectItem>(read->pages[0].items[3]).fill.has_value());
  EXPECT_FALSE(std::get<RectItem>(read->pages[0].items[4]).outline.has_value());
}

TEST(PreparedReportFileTest, RefusesForeignTruncatedAndDamagedBytes) {
  const std::string good = SerializePreparedReport(Sample());
  std::string error;
  EXPECT_FALSE(ParsePreparedReport("%PDF-1.7", &error));
  EXPECT_FALSE(error.empty());

  std::string newer = good;
  newer[8] = static_cast<char>(kPreparedReportVersion + 1);
  EXPECT_FALSE(ParsePreparedReport(newer, &error));

  // Every proper prefix is refused, never read past its end.
  for (size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(ParsePreparedReport(std::string_view(good).substr(0, n), &error)) << n;
  }
  EXPECT_FALSE(ParsePreparedReport(good + "x", &error));

  // A glyph pointing past its line's text, or a page without size, is damaged.
  PreparedReport bad_cluster = Sample();
  auto line = std::make_shared<ShapedLine>(*std::get<TextItem>(bad_cluster.pages[0].items[0]).line);
  line->glyphs[2].cluster = 99;
  std::get<TextItem>(bad_cluster.pages[0].items[0]).line = line;
  EXPECT_FALSE(ParsePreparedReport(SerializePreparedReport(bad_cluster), &error));
  for (const float scale : {0.0f, -1.0f, 1.5f}) {  // glyphs narrowed to nothing, or widened
    PreparedReport bad_scale = Sample();
    TextItem& item = std::get<TextItem>(bad_scale.pages[1].items[1]);
    auto scaled = std::make_shared<ShapedLine>(*item.line);
    scaled->scale = scale;
    item.line = scaled;
    EXPECT_FALSE(ParsePreparedReport(SerializePreparedReport(bad_scale), &error)) << scale;
  }
  PreparedReport no_size = Sample();
  no_size.pages[2].width = 0;
  EXPECT_FALSE(ParsePreparedReport(SerializePreparedReport(no_size), &error));
  PreparedReport not_a_number = Sample();
  std::get<LineItem>(not_a_number.pages[0].items[1]).x1 = std::nanf("");
  EXPECT_FALSE(ParsePreparedReport(SerializePreparedReport(not_a_number), &error));

  // A huge count is refused without trying to allocate for it.
  std::string huge = good;
  huge[12] = huge[13] = huge[14] = huge[15] = '\xff';
  EXPECT_FALSE(ParsePreparedReport(huge, &error));
}

TEST(PreparedReportFileTest, SaveReplacesFileAndLoadReadsItBack) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("prepared_file_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "list.nvkp").string();
  { std::ofstream(path) << "old content"; }

  std::string error;
  ASSERT_TRUE(SavePreparedReport(Sample(), path, &error)) << error;
  const auto loaded = LoadPreparedReport(path, &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(SerializePreparedReport(*loaded), SerializePreparedReport(Sample()));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1)
      << "no temporary file remains";

  // The fonts are found where this machine has them.
  for (size_t i = 0; i < loaded->fonts.size(); ++i) {
    FontFile installed;
    ASSERT_TRUE(FindFontFile(loaded->fonts[i].name, &installed, &error)) << error;
    EXPECT_EQ(loaded->fonts[i].file, installed.file);
    EXPECT_TRUE(std::filesystem::exists(loaded->fonts[i].file));
  }
  // The glyphs belong to the file the report was made with: when the face name stands for
  // another file here, the installed file of the saved name is taken.
  PreparedReport other_file = Sample();
  other_file.fonts[0].file = "/opt/other-machine/fonts/ipag.ttf";
  ASSERT_TRUE(SavePreparedReport(other_file, path, &error)) << error;
  const auto reopened = LoadPreparedReport(path, &error);
  ASSERT_TRUE(reopened) << error;
  EXPECT_EQ(std::filesystem::path(reopened->fonts[0].file).filename(), "ipag.ttf");
  EXPECT_TRUE(std::filesystem::exists(reopened->fonts[0].file));
  // A font that is not installed here at all stops the opening with its name.
  PreparedReport foreign = Sample();
  foreign.fonts[1] = {"Nowhere Sans", "/opt/other-machine/fonts/NowhereSans.ttf", 0};
  ASSERT_TRUE(SavePreparedReport(foreign, path, &error)) << error;
  EXPECT_FALSE(LoadPreparedReport(path, &error));
  EXPECT_EQ(error, "Font not found: Nowhere Sans");

  EXPECT_FALSE(LoadPreparedReport((dir / "missing.nvkp").string(), &error));
  EXPECT_FALSE(SavePreparedReport(Sample(), (dir / "no" / "such.nvkp").string(), &error));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace re
