#include "reportengine/pdf/pdf_exporter.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

#include "common/closed_folder_for_testing.h"
#include "reportengine/layout/layout_cache.h"
#include "reportengine/layout/report.h"
#include "reportengine/model/layout_memory_rows.h"
#include "reportengine/pdf/engine_info.h"
#include "reportengine/pdf/pdf_test_fixture.h"
#include "reportengine/text/text_shaper.h"

namespace re {
namespace {

namespace fs = std::filesystem;
using pdf::testing::kArialFile;
using pdf::testing::kGothicFile;
using pdf::testing::kMinchoFile;
using pdf::testing::kMmPerPt;
using pdf::testing::kPGothicFile;
using pdf::testing::ReadFile;
using pdf::testing::ReportBuilder;
using pdf::testing::RunTool;
using ::testing::HasSubstr;

constexpr double kPtPerMm = 72.0 / 25.4;

class RecordingProgress : public ExportProgress {
 public:
  void Started(int pages) override { events.push_back("start " + std::to_string(pages)); }
  void PageWritten(int page) override { events.push_back("page " + std::to_string(page)); }
  void Finished() override { events.push_back("finish"); }
  std::vector<std::string> events;
};

class PdfExporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pdf_exporter_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    ::chmod(dir_.c_str(), 0755);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  static std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
};

// One page of each item kind and three of the four faces, the Gothic face on two pages.
struct SampleReport {
  ReportBuilder builder;
  int pgothic, arial, mincho, unused;
  SampleReport() {
    pgothic = builder.AddFont("ＭＳ Ｐゴシック", kPGothicFile);
    arial = builder.AddFont("Arial", kArialFile);
    mincho = builder.AddFont("ＭＳ 明朝", kMinchoFile);
    unused = builder.AddFont("ＭＳ ゴシック", kGothicFile);
    PreparedPage& first = builder.NewPage();
    builder.Text(first, pgothic, 12, 20, 30, "患者番号 レセプト点検");
    builder.Text(first, arial, 10, 20, 50, "Hello World", {19.5f, 45, 60, 7});
    builder.Text(first, mincho, 9, 100, 50, "明朝体テスト", {}, {200, 0, 0});
    first.items.push_back(LineItem{10, 100, 200, 100, 0.26f, {}, LineStyle::kSolid});
    first.items.push_back(LineItem{10, 110, 200, 110, 0.53f, {0, 0, 255}, LineStyle::kDot});
    first.items.push_back(RectItem{{30, 120, 40, 20}, Color{200, 200, 255}, Color{}, 0.26f});
    PreparedPage& second = builder.NewPage();
    builder.Text(second, pgothic, 12, 20, 30, "二頁目 page two");
    builder.NewPage();  // an empty page stays a page
  }
};

TEST_F(PdfExporterTest, ReadersAcceptTheDocument) {
  SampleReport sample;
  PdfExporter exporter;
  exporter.FileName = dir_ + "/RepChk.pdf";
  std::vector<std::string> errors;
  ASSERT_TRUE(exporter.Export(sample.builder.report(), nullptr, &errors)) << errors.front();
  EXPECT_TRUE(errors.empty());
  const std::string file = exporter.FileName;
  EXPECT_EQ(ReadFile(file).substr(0, 8), "%PDF-1.7");

  const auto [check_status, check] = RunTool("qpdf --check '" + file + "' 2>&1");
  EXPECT_EQ(check_status, 0) << check;
  EXPECT_THAT(check, HasSubstr("No syntax or stream encoding errors found"));

  const auto [info_status, info] = RunTool("pdfinfo -isodates '" + file + "'");
  ASSERT_EQ(info_status, 0);
  EXPECT_THAT(info, HasSubstr("PDF version:     1.7\n"));
  EXPECT_THAT(info, HasSubstr("Author:          ベルタンZAVO\n"));
  EXPECT_THAT(info, HasSubstr("Subject:         PDF export\n"));
  EXPECT_THAT(info, HasSubstr(std::string("Producer:        ") + kEngineName + "\n"));
  EXPECT_THAT(info, HasSubstr("Pages:           3\n"));
  EXPECT_THAT(info, HasSubstr("Encrypted:       no\n"));
  EXPECT_THAT(info, HasSubstr("Page size:       595.28 x 841.89 pts (A4)\n"));
  // The creation date is the moment of the export, to the second, in local time.
  std::smatch date;
  ASSERT_TRUE(std::regex_search(info, date, std::regex(R"(CreationDate:\s+(\S+))")));
  const std::time_t created = std::chrono::system_clock::to_time_t(exporter.CreationTime());
  std::tm local{};
  localtime_r(&created, &local);
  char expected_date[32];
  std::strftime(expected_date, sizeof expected_date, "%Y-%m-%dT%H:%M:%S", &local);
  EXPECT_THAT(date[1].str(), ::testing::StartsWith(expected_date));
  EXPECT_LT(std::chrono::system_clock::now() - exporter.CreationTime(), std::chrono::minutes(1));

  const auto [outline_status, catalog] = RunTool("qpdf --show-object=1 '" + file + "'");
  EXPECT_EQ(outline_status, 0);
  for (const char* absent : {"/Outlines", "/ViewerPreferences", "/Encrypt", "/Metadata"}) {
    EXPECT_THAT(catalog, ::testing::Not(HasSubstr(absent)));
  }

  // One embedded subset per used face, however many pages use it; the unused face is absent.
  const auto [fonts_status, fonts] = RunTool("pdffonts '" + file + "'");
  ASSERT_EQ(fonts_status, 0);
  const std::regex font_row(
      R"(([A-Z]{6})\+(\S+)\s+CID TrueType\s+Identity-H\s+yes\s+yes\s+yes)");
  std::vector<std::string> faces;
  for (std::sregex_iterator it(fonts.begin(), fonts.end(), font_row), end; it != end; ++it) {
    faces.push_back((*it)[2]);
  }
  std::sort(faces.begin(), faces.end());
  EXPECT_EQ(faces, (std::vector<std::string>{"IPAMincho", "IPAPGothic", "LiberationSans"}))
      << fonts;
  // Subsets, not whole font programs (each IPA font file is several megabytes).
  EXPECT_LT(fs::file_size(file), 60'000u);

  const auto [text_status, text] = RunTool("pdftotext -enc UTF-8 '" + file + "' -");
  ASSERT_EQ(text_status, 0);
  for (const char* expected : {"患者番号 レセプト点検", "Hello World", "明朝体テスト",
                               "二頁目 page two"}) {
    EXPECT_THAT(text, HasSubstr(expected));
  }
}

TEST_F(PdfExporterTest, WordsSitWherePreparedPagesPutThem) {
  ReportBuilder builder;
  const int gothic = builder.AddFont("ＭＳ Ｐゴシック", kPGothicFile);
  const int arial = builder.AddFont("Arial", kArialFile);
  PreparedPage& page = builder.NewPage();
  struct Placed {
    int font;
    float size_pt, x, y;
    const char* text;
    float extra_spacing_mm;  // letter spacing the shaper did not give
  } const placed[] = {
      {.font = gothic, .size_pt = 9, .x = 12.3f, .y = 40.7f, .text = "受付番号",
       .extra_spacing_mm = 0},
      {.font = gothic, .size_pt = 11.25f, .x = 150.1f, .y = 280.4f, .text = "ｶﾅ氏名",
       .extra_spacing_mm = 0},
      {.font = arial, .size_pt = 10, .x = 73.9f, .y = 120.2f, .text = "AVAWAY",
       .extra_spacing_mm = 0},
      {.font = arial, .size_pt = 12, .x = 20.0f, .y = 200.0f, .text = "Tracked",
       .extra_spacing_mm = 0.8f},
      {.font = gothic, .size_pt = 16, .x = 105.0f, .y = 15.5f, .text = "点検結果一覧",
       .extra_spacing_mm = 0.3f},
  };
  for (const Placed& p : placed) {
    TextItem item;
    item.line = builder.Shape(p.font, p.size_pt, p.text, p.extra_spacing_mm);
    item.x = p.x;
    item.y = p.y;
    page.items.push_back(item);
  }
  PdfExporter exporter;
  exporter.FileName = dir_ + "/bbox.pdf";
  std::vector<std::string> errors;
  ASSERT_TRUE(exporter.Export(builder.report(), nullptr, &errors));

  const auto [status, html] = RunTool("pdftotext -bbox -enc UTF-8 '" + exporter.FileName + "' -");
  ASSERT_EQ(status, 0);
  const std::regex word_re(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  std::map<std::string, std::array<double, 4>> words;
  for (std::sregex_iterator it(html.begin(), html.end(), word_re), end; it != end; ++it) {
    words[(*it)[5]] = {std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]),
                       std::stod((*it)[4])};
  }
  for (size_t i = 0; i < std::size(placed); ++i) {
    const Placed& p = placed[i];
    SCOPED_TRACE(p.text);
    ASSERT_TRUE(words.count(p.text)) << html;
    const auto& box = words[p.text];
    const ShapedLine& line = *std::get<TextItem>(page.items[i]).line;
    // Left edge at the first glyph's origin, right edge at the last glyph's advance end.
    EXPECT_NEAR(box[0] / kPtPerMm, p.x + line.glyphs.front().x, 0.2);
    EXPECT_NEAR(box[2] / kPtPerMm, p.x + line.width - p.extra_spacing_mm, 0.2);
    // The box spans the face's ascent above and descent below the baseline.
    hb_blob_t* blob = hb_blob_create_from_file(builder.report().fonts[p.font].file.c_str());
    hb_face_t* face = hb_face_create(blob, 0);
    hb_font_t* font = hb_font_create(face);
    hb_font_extents_t extents{};
    hb_font_get_h_extents(font, &extents);
    const double em_mm = p.size_pt * kMmPerPt / hb_face_get_upem(face);
    EXPECT_NEAR(box[1] / kPtPerMm, p.y - extents.ascender * em_mm, 0.2);
    EXPECT_NEAR(box[3] / kPtPerMm, p.y - extents.descender * em_mm, 0.2);
    hb_font_destroy(font);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
  }
}

// The faces the templates name, shaped by the engine's own shaper (whose sizes are whole-pixel
// em sizes such as 11.25 pt), all come back embedded and readable.
TEST_F(PdfExporterTest, EveryTemplateFaceFromTheShaperEmbedsAndReadsBack) {
  TextShaper shaper;
  const struct {
    const char* face;
    int size_pt;
    const char* text;
  } cells[] = {
      {"ＭＳ Ｐゴシック", 18, "レセプト抽出条件リスト"}, {"ＭＳ ゴシック", 11, "傷病（薬品）名"},
      {"ＭＳ Ｐ明朝", 10, "診療(処方)開始日"},        {"ＭＳ 明朝", 9, "転帰日"},
      {"Arial", 10, "Page 12"},
  };
  PreparedReport report;
  PreparedPage& page = report.pages.emplace_back();
  float y = 20;
  for (const auto& cell : cells) {
    std::string error;
    ASSERT_TRUE(shaper.Resolve({cell.face, cell.size_pt}, &error)) << error;
    TextItem item;
    item.line = shaper.Shape({cell.face, cell.size_pt}, cell.text);
    ASSERT_NE(item.line, nullptr);
    item.x = 30;
    item.y = y += 15;
    page.items.push_back(item);
  }
  report.fonts = shaper.fonts();
  PdfExporter exporter;
  exporter.FileName = dir_ + "/faces.pdf";
  std::vector<std::string> errors;
  ASSERT_TRUE(exporter.Export(report, nullptr, &errors)) << errors.front();
  const auto [status, fonts] = RunTool("pdffonts '" + exporter.FileName + "'");
  const std::regex row(R"([A-Z]{6}\+\S+\s+CID TrueType\s+Identity-H\s+yes\s+yes\s+yes)");
  EXPECT_EQ(std::distance(std::sregex_iterator(fonts.begin(), fonts.end(), row),
                          std::sregex_iterator()),
            static_cast<long>(report.fonts.size()))
      << fonts;
  EXPECT_EQ(report.fonts.size(), std::size(cells));
  const std::string text = RunTool("pdftotext -enc UTF-8 '" + exporter.FileName + "' -").second;
  for (const auto& cell : cells) EXPECT_THAT(text, HasSubstr(cell.text));

  // Each descriptor says what FreeType reads from the face's own tables.
  const std::string pdf = ReadFile(exporter.FileName);
  for (const FontFace& face : report.fonts) {
    SCOPED_TRACE(face.file);
    FT_Library library = nullptr;
    FT_Face ft = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    ASSERT_EQ(FT_New_Face(library, face.file.c_str(), face.index, &ft), 0);
    const double scale = 1000.0 / ft->units_per_EM;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
    ASSERT_TRUE(os2 != nullptr && post != nullptr);
    const int family_class = os2->sFamilyClass >> 8;
    const int flags = 4 | (FT_IS_FIXED_WIDTH(ft) ? 1 : 0) |
                      (family_class >= 1 && family_class <= 7 ? 2 : 0);
    const double weight = os2->usWeightClass / 65.0;
    const double cap_height = os2->version >= 2 && os2->sCapHeight > 0 ? os2->sCapHeight * scale
                                                                      : ft->ascender * scale;
    auto whole = [](double v) { return std::to_string(std::lround(v)); };
    const std::string expected =
        "+" + std::string(FT_Get_Postscript_Name(ft)) + "/Flags " + std::to_string(flags) +
        "/FontBBox[" + whole(ft->bbox.xMin * scale) + " " + whole(ft->bbox.yMin * scale) + " " +
        whole(ft->bbox.xMax * scale) + " " + whole(ft->bbox.yMax * scale) + "]/ItalicAngle " +
        whole(post->italicAngle / 65536.0) + "/Ascent " + whole(ft->ascender * scale) +
        "/Descent " + whole(ft->descender * scale) + "/CapHeight " + whole(cap_height) +
        "/StemV " + whole(50 + weight * weight) + "/FontFile2 ";
    EXPECT_THAT(pdf, HasSubstr(expected));
    FT_Done_Face(ft);
    FT_Done_FreeType(library);
  }
}

// Renders part of a page at `dpi` with poppler and returns the RGB pixels (row-major).
struct Raster {
  int width = 0, height = 0;
  std::string rgb;
  Color At(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {static_cast<uint8_t>(rgb[i]), static_cast<uint8_t>(rgb[i + 1]),
            static_cast<uint8_t>(rgb[i + 2])};
  }
};

Raster Render(const std::string& pdf, const std::string& out_base, int dpi) {
  Raster raster;
  // Only the top-left 110 mm square is drawn: all the test looks at, and quick.
  const int crop = static_cast<int>(110 / 25.4 * dpi);
  const auto [status, output] = RunTool("pdftoppm -r " + std::to_string(dpi) + " -x 0 -y 0 -W " +
                                    std::to_string(crop) + " -H " + std::to_string(crop) +
                                    " -singlefile -f 1 -l 1 '" + pdf + "' '" + out_base + "'");
  if (status != 0) return raster;
  const std::string ppm = ReadFile(out_base + ".ppm");
  std::istringstream in(ppm);
  std::string magic;
  int max_value = 0;
  in >> magic >> raster.width >> raster.height >> max_value;
  in.get();
  raster.rgb = ppm.substr(static_cast<size_t>(in.tellg()));
  return raster;
}

TEST_F(PdfExporterTest, GraphicsAreDrawnInPlaceAndTextIsCutAtItsClip) {
  ReportBuilder builder;
  const int arial = builder.AddFont("Arial", kArialFile);
  PreparedPage& page = builder.NewPage();
  const Color red{255, 0, 0}, blue{0, 0, 255}, fill{0, 200, 0};
  page.items.push_back(RectItem{{20, 20, 40, 20}, fill, Color{}, 0.53f});
  page.items.push_back(LineItem{20, 60, 180, 60, 0.53f, red, LineStyle::kSolid});
  page.items.push_back(LineItem{20, 70, 180, 70, 0.53f, blue, LineStyle::kDot});
  // A long word in a 15 mm box: nothing may show right of the box.
  builder.Text(page, arial, 24, 20, 95, "WWWWWWWWWWWW", {20, 85, 15, 15});
  PdfExporter exporter;
  exporter.FileName = dir_ + "/graphics.pdf";
  std::vector<std::string> errors;
  ASSERT_TRUE(exporter.Export(builder.report(), nullptr, &errors));

  constexpr int kDpi = 300;
  const Raster r = Render(exporter.FileName, dir_ + "/render", kDpi);
  ASSERT_GT(r.width, 0);
  auto px = [&](double mm) { return static_cast<int>(std::lround(mm / 25.4 * kDpi)); };
  EXPECT_EQ(r.At(px(40), px(30)), fill);               // inside the rectangle
  EXPECT_EQ(r.At(px(20), px(30)), (Color{0, 0, 0}));   // its left outline
  EXPECT_EQ(r.At(px(100), px(60)), red);
  // The dotted line alternates: dots and gaps along the line, each about 0.53 mm (6 px) long.
  int dot_pixels = 0, gap_pixels = 0, changes = 0;
  bool previous = false;
  for (int x = px(30); x < px(40); ++x) {
    const bool dot = r.At(x, px(70)) == blue;
    (dot ? dot_pixels : gap_pixels)++;
    if (x > px(30) && dot != previous) ++changes;
    previous = dot;
  }
  EXPECT_GT(dot_pixels, 20);
  EXPECT_GT(gap_pixels, 20);
  EXPECT_GT(changes, 10);
  // Ink inside the clip box, none right of it.
  int ink_inside = 0, ink_outside = 0;
  for (int y = px(85); y < px(100); ++y) {
    for (int x = px(20); x < px(34.8); ++x) ink_inside += r.At(x, y).r < 128;
    for (int x = px(35.2); x < px(80); ++x) ink_outside += r.At(x, y).r < 128;
  }
  EXPECT_GT(ink_inside, 100);
  EXPECT_EQ(ink_outside, 0);
}

TEST_F(PdfExporterTest, SettingsChangeOnlyWhatTheyName) {
  const struct {
    bool compressed, embedded;
  } cases[] = {{true, true}, {false, true}, {true, false}, {false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.compressed) + std::to_string(c.embedded));
    SampleReport sample;
    PdfExporter exporter;
    exporter.FileName = dir_ + "/settings.pdf";
    exporter.Compressed = c.compressed;
    exporter.EmbeddedFonts = c.embedded;
    exporter.Author = "Ａuthor 著者";
    exporter.Title = "Title (1)";
    std::vector<std::string> errors;
    ASSERT_TRUE(exporter.Export(sample.builder.report(), nullptr, &errors));
    const std::string content = ReadFile(exporter.FileName);
    EXPECT_EQ(content.find("/FlateDecode") != std::string::npos, c.compressed);
    EXPECT_EQ(RunTool("qpdf --check '" + exporter.FileName + "' >/dev/null 2>&1").first, 0);
    const auto [status, fonts] = RunTool("pdffonts '" + exporter.FileName + "'");
    const std::regex row(c.embedded ? R"(CID TrueType\s+Identity-H\s+yes\s+yes\s+yes)"
                                    : R"(CID TrueType\s+Identity-H\s+no\s+no\s+yes)");
    EXPECT_EQ(std::distance(std::sregex_iterator(fonts.begin(), fonts.end(), row),
                            std::sregex_iterator()),
              3)
        << fonts;
    const auto [info_status, info] = RunTool("pdfinfo '" + exporter.FileName + "'");
    EXPECT_THAT(info, HasSubstr("Author:          Ａuthor 著者\n"));
    EXPECT_THAT(info, HasSubstr("Title:           Title (1)\n"));
    EXPECT_THAT(RunTool("pdftotext -enc UTF-8 '" + exporter.FileName + "' -").second,
                HasSubstr("患者番号"));
  }
}

TEST_F(PdfExporterTest, ReplacesTheTargetAndReportsEveryPage) {
  const std::string target = dir_ + "/Rep.pdf";
  std::ofstream(target) << "old";
  SampleReport sample;
  PdfExporter exporter;
  exporter.FileName = target;
  RecordingProgress progress;
  std::vector<std::string> errors;
  ASSERT_TRUE(exporter.Export(sample.builder.report(), &progress, &errors));
  EXPECT_EQ(ReadFile(target).substr(0, 8), "%PDF-1.7");
  EXPECT_EQ(Entries(dir_), std::vector<std::string>{"Rep.pdf"});
  EXPECT_EQ(progress.events,
            (std::vector<std::string>{"start 3", "page 1", "page 2", "page 3", "finish"}));

  RecordingProgress silent;
  exporter.ShowProgress = false;
  ASSERT_TRUE(exporter.Export(sample.builder.report(), &silent, &errors));
  EXPECT_TRUE(silent.events.empty());
}

// A list on many pages, every row's text distinct, so that the layout cache is trimmed on the
// way (it keeps at most LayoutCache::kTrimAtTexts texts).
Template ListTemplate() {
  return Template{
      .name = "Report3",
      .page = {.margins = {5, 5, 5, 5}},
      .datasets = {"DBDataset3"},
      .bands = {
          {.name = "PageHeader1", .kind = BandKind::kPageHeader, .height = 8,
           .objects = {TextObject{.name = "Memo1", .rect = {67, 0.5f, 59, 7}, .text = "[TIME]",
                                  .font = {"ＭＳ Ｐゴシック", 14}}}},
          {.name = "MasterData1", .kind = BandKind::kMasterData, .height = 4,
           .dataset = "DBDataset3",
           .objects = {TextObject{.name = "Line1", .rect = {1, 0, 40, 4},
                                  .text = "[DBDataset3.\"Line1\"]", .font = {"ＭＳ ゴシック", 9}},
                       TextObject{.name = "Line2", .rect = {45, 0, 60, 4}, .text = "[DBDataset3.\"Line2\"]",
                                  .font = {"ＭＳ 明朝", 9}, .grow_height = true},
                       LineObject{.name = "Rule", .top = 4, .width = 200}}},
          {.name = "PageFooter1", .kind = BandKind::kPageFooter, .height = 6,
           .objects = {TextObject{.name = "SysMemo3", .rect = {86, 0, 25, 5}, .text = "[PAGE#]",
                                  .align = HAlign::kCenter}}},
      }};
}

TEST_F(PdfExporterTest, StreamedExportWritesTheBytesOfPrepareThenExport) {
  std::vector<std::vector<std::string>> rows;
  const int count = static_cast<int>(LayoutCache::kTrimAtTexts) + 500;  // trimmed twice
  for (int i = 0; i < count; ++i) {
    rows.push_back({"K" + std::to_string(i * 7919 % 100003),
                    i % 97 == 0 ? "長い名前の患者さんの住所と備考がこの欄に折り返して入ります " + std::to_string(i)
                                : "患者 " + std::to_string(i)});
  }
  MemoryRows source({"Line1", "Line2"}, rows);
  const auto when = std::chrono::system_clock::from_time_t(1700000000);
  auto export_with = [&](bool streamed, const std::string& path) {
    Report report(ListTemplate());
    report.AddDataset({"DBDataset3", &source});
    report.set_clock([] { return common::LocalDateTime{2024, 5, 1, 9, 30, 5, 0}; });
    PdfExporter exporter;
    exporter.FileName = path;
    exporter.FixCreationTimeForTesting(when);
    if (streamed) return report.PrepareAndExport(exporter);
    return report.PrepareReport(true) && report.Export(exporter, nullptr);
  };
  // The same path both times: the document identifier covers the file name.
  const std::string path = dir_ + "/Rep.pdf";
  ASSERT_TRUE(export_with(false, path));
  const std::string whole = ReadFile(path);
  ASSERT_GT(whole.size(), 50000u);
  ASSERT_TRUE(export_with(true, path));
  EXPECT_TRUE(whole == ReadFile(path));
  EXPECT_EQ(RunTool("qpdf --check '" + path + "' >/dev/null 2>&1").first, 0);
}

// A preparation error, or a disk that fills while the pages are being written: the old file
// stays, no temporary file is left, and the error box names the cause.
TEST_F(PdfExporterTest, StreamedExportThatFailsLeavesTheOldFile) {
  std::vector<std::vector<std::string>> many;
  for (int i = 0; i < 2000; ++i) many.push_back({std::to_string(i), "患者 " + std::to_string(i)});
  struct Case {
    const char* name;
    bool bad_field;
    uint64_t disk_bytes;
    const char* error_part;
  };
  for (const Case& c : {Case{"unknown field", true, UINT64_MAX, "NoSuchField"},
                        Case{"disk full", false, 30000, pdf::kErrDiskFull}}) {
    SCOPED_TRACE(c.name);
    const std::string target = dir_ + "/Rep.pdf";
    std::ofstream(target) << "old";
    Template layout = ListTemplate();
    if (c.bad_field) {
      layout.bands[1].objects.push_back(TextObject{
          .name = "Bad", .rect = {110, 0, 20, 4}, .text = "[DBDataset3.\"NoSuchField\"]"});
    }
    MemoryRows source({"Line1", "Line2"}, many);
    Report report(std::move(layout));
    report.AddDataset({"DBDataset3", &source});
    PdfExporter exporter;
    exporter.FileName = target;
    exporter.SimulateDiskFullAfter(c.disk_bytes);
    EXPECT_FALSE(report.PrepareAndExport(exporter));
    ASSERT_EQ(report.errors().size(), 1u);
    EXPECT_THAT(report.errors()[0], HasSubstr(c.error_part));
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(Entries(dir_), std::vector<std::string>{"Rep.pdf"});
  }
}

TEST_F(PdfExporterTest, ReportWithoutPagesStillGivesAReadableFile) {
  PdfExporter exporter;
  exporter.FileName = dir_ + "/empty.pdf";
  std::vector<std::string> errors;
  ASSERT_TRUE(exporter.Export(PreparedReport{}, nullptr, &errors));
  EXPECT_EQ(RunTool("qpdf --check '" + exporter.FileName + "' >/dev/null 2>&1").first, 0);
}

// Every failure leaves the old file byte for byte, no temporary file, one error naming what
// went wrong, and a closed progress display.
struct FailureCase {
  const char* name;
  // Prepares the folder (which already holds "old.pdf") and returns the path to export to.
  std::function<std::string(const std::string& dir, PdfExporter*, PreparedReport*)> setup;
  const char* error_part;
};

std::string CheckFailure(const FailureCase& c, const std::string& dir) {
  const std::string old_content = "%PDF-1.4 old report\n";
  std::ofstream(dir + "/old.pdf") << old_content;
  SampleReport sample;
  PreparedReport report = sample.builder.report();
  PdfExporter exporter;
  exporter.FileName = c.setup(dir, &exporter, &report);
  RecordingProgress progress;
  std::vector<std::string> errors;
  std::string problems;
  if (exporter.Export(report, &progress, &errors)) problems += "export succeeded; ";
  if (errors.size() != 1 || errors[0].find(c.error_part) == std::string::npos) {
    problems += "errors: " + (errors.empty() ? std::string("none") : errors[0]) + "; ";
  }
  if (ReadFile(dir + "/old.pdf") != old_content) problems += "old file changed; ";
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(dir)) {
    entries.push_back(entry.path().filename().string());
  }
  for (const std::string& entry : entries) {
    if (entry != "old.pdf" && entry != "sub") problems += "left behind: " + entry + "; ";
  }
  if (!progress.events.empty() && progress.events.back() != "finish") {
    problems += "progress not finished; ";
  }
  return problems;
}

TEST_F(PdfExporterTest, FailuresLeaveTheOldFileAndNoTemporaryFile) {
  const FailureCase cases[] = {
      {"missing folder",
       [](const std::string& dir, PdfExporter*, PreparedReport*) {
         return dir + "/no such folder/old.pdf";
       },
       "no such folder"},
      {"read-only target",
       [](const std::string& dir, PdfExporter*, PreparedReport*) {
         ::chmod((dir + "/old.pdf").c_str(), 0444);
         return dir + "/old.pdf";
       },
       "read-only"},
      {"target is a folder",
       [](const std::string& dir, PdfExporter*, PreparedReport*) {
         fs::create_directory(dir + "/sub");
         return dir + "/sub";
       },
       "not a file"},
      {"no file name", [](const std::string&, PdfExporter*, PreparedReport*) { return ""; },
       "No output file name"},
      {"disk full while writing pages",
       [](const std::string& dir, PdfExporter* exporter, PreparedReport*) {
         exporter->SimulateDiskFullAfter(1000);
         return dir + "/old.pdf";
       },
       "No space left on device"},
      {"disk full while writing fonts",
       [](const std::string& dir, PdfExporter* exporter, PreparedReport*) {
         exporter->SimulateDiskFullAfter(5000);
         return dir + "/old.pdf";
       },
       "No space left on device"},
      {"font file missing",
       [](const std::string& dir, PdfExporter*, PreparedReport* report) {
         report->fonts[1].file = dir + "/gone.ttf";
         return dir + "/old.pdf";
       },
       "gone.ttf"},
      {"text names a font the report lacks",
       [](const std::string& dir, PdfExporter*, PreparedReport* report) {
         auto line = std::make_shared<ShapedLine>(*std::get<TextItem>(report->pages[0].items[0]).line);
         line->font = 7;
         std::get<TextItem>(report->pages[0].items[0]).line = line;
         return dir + "/old.pdf";
       },
       "font"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = dir_ + "/" + std::to_string(&c - cases);
    fs::create_directory(dir);
    EXPECT_EQ(CheckFailure(c, dir), "");
  }
}

// Runs `c` in a child process with `dir` as a private tmpfs of `size_kb` (read-only when asked),
// so that a full disk and an unwritable folder are real even for root. Returns what failed, or
// nullopt when the system allows no private mount.
std::optional<std::string> CheckFailureOnOwnFileSystem(const FailureCase& c,
                                                       const std::string& dir, int size_kb,
                                                       bool read_only) {
  return common::InChildProcess([&] {
    const std::string options = "size=" + std::to_string(size_kb) + "k";
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      ::_exit(77);
    }
    const auto wrap = c.setup;
    FailureCase inner = c;
    inner.setup = [&](const std::string& d, PdfExporter* e, PreparedReport* r) {
      const std::string target = wrap(d, e, r);
      if (read_only) ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
      return target;
    };
    return CheckFailure(inner, dir);
  });
}

TEST_F(PdfExporterTest, FullDiskAndUnwritableFolderOnARealFileSystem) {
  const FailureCase disk_full{
      "disk full",
      [](const std::string& dir, PdfExporter*, PreparedReport* report) {
        // Enough pages to overflow 64 KB with the old file in place.
        ReportBuilder builder;
        const int font = builder.AddFont("ＭＳ ゴシック", kGothicFile);
        for (int p = 0; p < 120; ++p) {
          PreparedPage& page = builder.NewPage();
          for (int row = 0; row < 40; ++row) {
            builder.Text(page, font, 9, 10, 10 + row * 6.0f,
                         "行" + std::to_string(p * 40 + row) + " 点検結果 " +
                             std::to_string(row * 7919 % 1000));
          }
        }
        *report = builder.report();
        return dir + "/old.pdf";
      },
      "No space left on device"};
  const FailureCase unwritable{
      "unwritable folder",
      [](const std::string& dir, PdfExporter*, PreparedReport*) { return dir + "/new.pdf"; },
      "new.pdf"};

  const std::string full_dir = dir_ + "/full";
  fs::create_directory(full_dir);
  const auto full = CheckFailureOnOwnFileSystem(disk_full, full_dir, 64, false);
  if (!full) GTEST_SKIP() << "no private mounts here; the simulated full disk covers this";
  EXPECT_EQ(*full, "");

  const std::string ro_dir = dir_ + "/ro";
  fs::create_directory(ro_dir);
  const auto ro = CheckFailureOnOwnFileSystem(unwritable, ro_dir, 64, true);
  ASSERT_TRUE(ro.has_value());
  EXPECT_EQ(*ro, "");
}

TEST_F(PdfExporterTest, UnwritableFolderByPermissions) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere; the read-only mount covers this";
  const FailureCase c{"unwritable folder",
                      [](const std::string& dir, PdfExporter*, PreparedReport*) {
                        ::chmod(dir.c_str(), 0555);
                        return dir + "/new.pdf";
                      },
                      "new.pdf"};
  EXPECT_EQ(CheckFailure(c, dir_), "");
}

TEST_F(PdfExporterTest, KillDuringExportLeavesTheOldFile) {
  const std::string target = dir_ + "/RepChkList.pdf";
  const std::string old_content = "%PDF-1.4 yesterday's list\n";
  std::ofstream(target) << old_content;

  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    ReportBuilder builder;
    const int font = builder.AddFont("ＭＳ Ｐゴシック", kPGothicFile);
    auto line = builder.Shape(font, 9, "患者 氏名 点検");
    for (int p = 0; p < 5000; ++p) {
      PreparedPage& page = builder.NewPage();
      for (int row = 0; row < 20; ++row) page.items.push_back(TextItem{line, 10, 10.0f + row, {}, {}});
    }
    // Signals the parent once pages are being written, then keeps writing.
    struct Signal : ExportProgress {
      int fd;
      explicit Signal(int f) : fd(f) {}
      void Started(int) override {}
      void PageWritten(int n) override {
        if (n == 50 && ::write(fd, "x", 1) < 0) ::_exit(3);
      }
      void Finished() override {}
    } signal_parent(ready[1]);
    PdfExporter exporter;
    exporter.FileName = target;
    std::vector<std::string> errors;
    exporter.Export(builder.report(), &signal_parent, &errors);
    ::_exit(0);
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(ready[0]);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadFile(target), old_content);
  EXPECT_EQ(Entries(dir_), std::vector<std::string>{"RepChkList.pdf"});
}

}  // namespace
}  // namespace re
