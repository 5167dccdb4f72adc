#include "reportengine/qt/page_renderer.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/qt/image_difference_for_testing.h"
#include "reportengine/qt/sample_report_for_testing.h"
#include "reportengine/text/text_shaper.h"

namespace re {
namespace {

constexpr double kDpi = 96;
constexpr double kTolerance = 0.0008;  // share of pixels allowed to differ after averaging

int InkIn(const QImage& image, const QRect& area) {
  int ink = 0;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) ink += !testing::IsWhite(image.pixel(x, y));
  }
  return ink;
}

QRect Px(double left_mm, double top_mm, double width_mm, double height_mm, double dpi = kDpi) {
  const double s = dpi / 25.4;
  return QRectF(left_mm * s, top_mm * s, width_mm * s, height_mm * s).toAlignedRect();
}

class PageRendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    std::string error;
    report_ = testing::SampleReport(&error);
    ASSERT_EQ(report_.pages.size(), 3u) << error;
  }

  // One text line in `font` on an otherwise empty page.
  PreparedPage OneLine(TextShaper& shaper, const FontSpec& font, const std::string& text,
                       RectMm clip) {
    PreparedPage page;
    page.width = 100;
    page.height = 30;
    TextItem item;
    item.line = shaper.Shape(font, text);
    item.x = 5;
    item.y = 15;
    item.clip = clip;
    page.items.push_back(item);
    return page;
  }

  QTemporaryDir dir_;
  PreparedReport report_;
};

// What the preview shows must be what the PDF file shows: poppler's rendering of the exported
// file and ours of the same pages agree up to anti-aliasing at glyph and line edges.
TEST_F(PageRendererTest, MatchesThePdfAsPopplerDrawsIt) {
  PdfExporter pdf;
  pdf.FileName = (dir_.path() + "/list.pdf").toStdString();
  std::vector<std::string> errors;
  ASSERT_TRUE(pdf.Export(report_, nullptr, &errors)) << (errors.empty() ? "" : errors[0]);
  ASSERT_EQ(QProcess::execute("pdftoppm", {"-r", QString::number(kDpi), "-png",
                                           QString::fromStdString(pdf.FileName),
                                           dir_.path() + "/poppler"}),
            0);
  PageRenderer renderer(report_.fonts);
  for (int p = 0; p < 3; ++p) {
    SCOPED_TRACE(p + 1);
    const QImage poppler(dir_.path() + QStringLiteral("/poppler-%1.png").arg(p + 1));
    ASSERT_FALSE(poppler.isNull());
    const QImage ours = renderer.Render(report_.pages[p], kDpi);
    EXPECT_LE(std::abs(ours.width() - poppler.width()), 1);
    EXPECT_LE(std::abs(ours.height() - poppler.height()), 1);
    const testing::Difference d = testing::Compare(ours, poppler);
    std::printf("page %d: %.4f %% of pixels far off, ink %d (ours) / %d (poppler)\n", p + 1,
                d.far_off * 100, d.ink_a, d.ink_b);
    EXPECT_LT(d.far_off, kTolerance);
    EXPECT_GT(d.ink_a, 5000);
    EXPECT_NEAR(d.ink_a, d.ink_b, d.ink_b * 0.1);
  }
  EXPECT_EQ(renderer.MissingFontCount(), 0);

  // The measure has teeth: text half a millimetre off, or drawn 15 % too large, fails it.
  const QImage poppler(dir_.path() + "/poppler-1.png");
  for (const auto& change : std::vector<std::function<void(TextItem&)>>{
           [](TextItem& t) { t.x += 0.5f; },
           [](TextItem& t) {
             auto bigger = std::make_shared<ShapedLine>(*t.line);
             bigger->size_pt *= 1.15f;
             t.line = bigger;
           }}) {
    PreparedPage wrong = report_.pages[0];
    for (PageItem& item : wrong.items) {
      if (auto* text = std::get_if<TextItem>(&item)) change(*text);
    }
    const testing::Difference d = testing::Compare(renderer.Render(wrong, kDpi), poppler);
    std::printf("changed page: %.4f %% far off\n", d.far_off * 100);
    EXPECT_GT(d.far_off, 1.5 * kTolerance);
  }
}

// Narrowed text (glyphs drawn horizontally compressed) looks the same in the preview as in the
// PDF, and the comparison notices when the glyphs are drawn at their full width instead.
TEST_F(PageRendererTest, NarrowedTextMatchesThePdf) {
  TextShaper shaper;
  std::string error;
  const FontSpec pgothic{"ＭＳ Ｐゴシック", 16};
  const FontSpec gothic{"ＭＳ ゴシック", 10};
  ASSERT_TRUE(shaper.Resolve(pgothic, &error) && shaper.Resolve(gothic, &error)) << error;
  PreparedReport report;
  PreparedPage page;
  float top = 20;
  for (const auto& [font, text, scale] :
       std::vector<std::tuple<FontSpec, std::string, float>>{
           {pgothic, "項番・区分・診療行為名称等", 0.71f},
           {pgothic, "カルテ番号 2024/06/01", 0.85f},
           {gothic, "患者9989 太郎 A01 Narrowed Latin", 0.93f}}) {
    TextItem item;
    item.line = std::make_shared<ShapedLine>(NarrowedLine(*shaper.Shape(font, text), scale));
    item.x = 10;
    item.y = top;
    item.clip = {9, top - 8, item.line->width + 2, 12};
    page.items.push_back(item);
    top += 15;
  }
  report.pages.push_back(page);
  report.fonts = shaper.fonts();
  PdfExporter pdf;
  pdf.FileName = (dir_.path() + "/narrow.pdf").toStdString();
  std::vector<std::string> errors;
  ASSERT_TRUE(pdf.Export(report, nullptr, &errors)) << (errors.empty() ? "" : errors[0]);
  ASSERT_EQ(QProcess::execute("pdftoppm", {"-r", QString::number(kDpi), "-png",
                                           QString::fromStdString(pdf.FileName),
                                           dir_.path() + "/narrow"}),
            0);
  const QImage poppler(dir_.path() + "/narrow-1.png");
  ASSERT_FALSE(poppler.isNull());
  PageRenderer renderer(report.fonts);
  const testing::Difference d = testing::Compare(renderer.Render(page, kDpi), poppler);
  std::printf("narrowed: %.4f %% of pixels far off, ink %d (ours) / %d (poppler)\n",
              d.far_off * 100, d.ink_a, d.ink_b);
  EXPECT_LT(d.far_off, kTolerance);
  EXPECT_NEAR(d.ink_a, d.ink_b, d.ink_b * 0.1);

  PreparedPage wide = page;
  for (PageItem& item : wide.items) {
    auto& text = std::get<TextItem>(item);
    auto full = std::make_shared<ShapedLine>(*text.line);
    full->scale = 1;
    text.line = full;
  }
  const testing::Difference w = testing::Compare(renderer.Render(wide, kDpi), poppler);
  std::printf("drawn at full width: %.4f %% far off\n", w.far_off * 100);
  EXPECT_GT(w.far_off, 1.5 * kTolerance);
}

TEST_F(PageRendererTest, TextIsCutAtItsClipBoxUnlessTheBoxIsEmpty) {
  TextShaper shaper;
  const FontSpec arial{"Arial", 12};
  ASSERT_TRUE(shaper.Resolve(arial, nullptr));
  const std::string text = "WWWWWWWWWWWWWWWWWWWW";
  struct Case {
    RectMm clip;
    bool ink_right_of_40mm;
  } cases[] = {
      {{5, 5, 35, 20}, false},  // cut at 40 mm
      {{0, 0, 0, 0}, true},     // no box: all of the line, as the PDF writer draws it
      {{5, 5, 90, 20}, true},
  };
  for (const Case& c : cases) {
    const PreparedPage page = OneLine(shaper, arial, text, c.clip);
    PageRenderer renderer(shaper.fonts());
    const QImage image = renderer.Render(page, kDpi);
    EXPECT_GT(InkIn(image, Px(5, 5, 34, 20)), 50);
    EXPECT_EQ(InkIn(image, Px(41, 5, 50, 20)) > 0, c.ink_right_of_40mm) << c.clip.width;
  }
}

TEST_F(PageRendererTest, DrawsRulesFramesAndFillsAtTheirWidthsAndColours) {
  PreparedPage page;
  page.width = 100;
  page.height = 100;
  page.items.push_back(RectItem{{10, 10, 30, 20}, Color{255, 0, 0}, std::nullopt, 0.26f});
  page.items.push_back(RectItem{{50, 10, 30, 20}, std::nullopt, Color{0, 0, 255}, 0.53f});
  page.items.push_back(LineItem{10, 50, 90, 50, 0.26f, Color{0, 0, 0}, LineStyle::kSolid});
  page.items.push_back(LineItem{10, 60, 90, 60, 0.53f, Color{0, 0, 0}, LineStyle::kSolid});
  page.items.push_back(LineItem{10, 70, 90, 70, 0.53f, Color{0, 128, 0}, LineStyle::kDot});
  const double dpi = 300;
  PageRenderer renderer({});
  const QImage image = renderer.Render(page, dpi);
  const double s = dpi / 25.4;
  auto at = [&](double x, double y) { return image.pixel(int(x * s), int(y * s)); };
  EXPECT_EQ(at(25, 20), qRgb(255, 0, 0));           // fill
  EXPECT_TRUE(testing::IsWhite(at(65, 20)));                 // outline only: inside stays white
  EXPECT_EQ(qBlue(at(50, 20)), 255);                // its left edge
  EXPECT_LT(qRed(at(50, 20)), 60);
  // Rule thickness: 0.26 mm ≈ 3 px and 0.53 mm ≈ 6 px at 300 dpi.
  auto thickness = [&](double y_mm) {
    int rows = 0;
    for (int y = int((y_mm - 1) * s); y < int((y_mm + 1) * s); ++y) {
      rows += qGray(image.pixel(int(30 * s), y)) < 128;
    }
    return rows;
  };
  EXPECT_NEAR(thickness(50), 0.26 * s, 1);
  EXPECT_NEAR(thickness(60), 0.53 * s, 1);
  // Dotted: ink and gaps alternate along the line, in its colour.
  int dots = 0, gaps = 0;
  for (int x = int(20 * s); x < int(80 * s); ++x) {
    const QRgb p = image.pixel(x, int(70 * s));
    if (testing::IsWhite(p)) ++gaps;
    else if (qGreen(p) > qRed(p)) ++dots;
  }
  EXPECT_GT(dots, 0.3 * 60 * s);
  EXPECT_GT(gaps, 0.3 * 60 * s);
}

// Damaged or foreign input (a prepared report opened from a file) must not crash the window:
// what cannot be drawn is left out and counted.
TEST_F(PageRendererTest, LeavesOutTextItCannotDraw) {
  TextShaper shaper;
  const FontSpec gothic{"ＭＳ ゴシック", 10};
  ASSERT_TRUE(shaper.Resolve(gothic, nullptr));
  PreparedPage page = OneLine(shaper, gothic, "テスト", {});
  auto odd = std::make_shared<ShapedLine>(*std::get<TextItem>(page.items[0]).line);
  odd->font = 7;  // no such face
  page.items.push_back(TextItem{odd, 5, 25, {}, {}});
  auto huge = std::make_shared<ShapedLine>(*std::get<TextItem>(page.items[0]).line);
  huge->glyphs[0].id = 0xFFFFFFu;
  huge->glyphs[1].x = std::numeric_limits<float>::quiet_NaN();
  page.items.push_back(TextItem{huge, 5, 20, {}, {}});
  page.items.push_back(TextItem{nullptr, 5, 20, {}, {}});

  std::vector<FontFace> fonts = shaper.fonts();
  fonts.push_back({"gone", (dir_.path() + "/missing.ttf").toStdString(), 0});
  PageRenderer renderer(fonts);
  EXPECT_FALSE(renderer.Render(page, kDpi).isNull());
  EXPECT_EQ(renderer.MissingFontCount(), 1);

  PageRenderer without_files({{"gone", "/nonexistent/font.ttf", 0}});
  PreparedPage first_only = OneLine(shaper, gothic, "テスト", {});
  const QImage blank = without_files.Render(first_only, kDpi);
  EXPECT_EQ(InkIn(blank, blank.rect()), 0);
  EXPECT_EQ(without_files.MissingFontCount(), 1);
}

// A face inside a font collection is drawn from that face, not from the collection's first.
TEST_F(PageRendererTest, DrawsTheNamedFaceOfACollection) {
  TextShaper shaper;
  const FontSpec gothic{"ＭＳ ゴシック", 16};
  const FontSpec arial{"Arial", 16};
  ASSERT_TRUE(shaper.Resolve(gothic, nullptr));
  ASSERT_TRUE(shaper.Resolve(arial, nullptr));
  const PreparedPage page = OneLine(shaper, gothic, "日本語の表示", {});

  // Build a collection [Arial face, Gothic face] from the two single-face files.
  auto read = [](const std::string& path) {
    QFile f(QString::fromStdString(path));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
  };
  const QByteArray faces[2] = {read(shaper.fonts()[1].file), read(shaper.fonts()[0].file)};
  QByteArray ttc("ttcf\0\1\0\0\0\0\0\2", 12);
  ttc.resize(20);
  QByteArray body;
  qsizetype offsets[2];
  for (int i = 0; i < 2; ++i) {
    offsets[i] = 20 + body.size();
    body += faces[i];
    while (body.size() % 4) body += '\0';
    qToBigEndian<quint32>(static_cast<quint32>(offsets[i]), ttc.data() + 12 + 4 * i);
  }
  ttc += body;
  // Table offsets inside each face are relative to its own file: move them into the collection.
  for (int i = 0; i < 2; ++i) {
    char* dir = ttc.data() + offsets[i];
    const int tables = qFromBigEndian<quint16>(dir + 4);
    for (int t = 0; t < tables; ++t) {
      char* at = dir + 12 + 16 * t + 8;
      qToBigEndian<quint32>(qFromBigEndian<quint32>(at) + static_cast<quint32>(offsets[i]), at);
    }
  }
  const QString ttc_path = dir_.path() + "/pair.ttc";
  QFile out(ttc_path);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(ttc);
  out.close();

  PageRenderer direct(shaper.fonts());
  std::vector<FontFace> collection = shaper.fonts();
  collection[0] = {"ＭＳ ゴシック", ttc_path.toStdString(), 1};
  PageRenderer from_collection(collection);
  const QImage expected = direct.Render(page, kDpi);
  const QImage got = from_collection.Render(page, kDpi);
  EXPECT_EQ(from_collection.MissingFontCount(), 0);
  EXPECT_GT(InkIn(got, got.rect()), 100);
  EXPECT_EQ(got, expected);
}

TEST_F(PageRendererTest, TextBoxCoversTheBytesAsked) {
  PageRenderer renderer(report_.fonts);
  const auto& item = std::get<TextItem>(report_.pages[0].items[2]);  // "Sample row one 123-456"
  ASSERT_EQ(item.line->text.substr(0, 6), "Sample");
  const QRectF sample = renderer.TextBoxMm(item, 0, 6);
  const QRectF row = renderer.TextBoxMm(item, 7, 10);
  EXPECT_NEAR(sample.left(), item.x, 0.01);
  EXPECT_GT(sample.width(), 5);
  EXPECT_GE(row.left(), sample.right());
  EXPECT_LT(sample.top(), item.y);
  EXPECT_GT(sample.bottom(), item.y);
  EXPECT_TRUE(renderer.TextBoxMm(item, 3, 3).isEmpty());
  EXPECT_TRUE(renderer.TextBoxMm(item, 500, 600).isEmpty());
}

}  // namespace
}  // namespace re
