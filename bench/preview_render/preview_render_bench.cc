// How long the preview takes to draw a dense list page: the first time (faces and glyphs not yet
// cached) and again, at 100 % and 200 % and as a thumbnail, and per page when printing.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

#include "reportengine/qt/page_renderer.h"
#include "reportengine/text/text_shaper.h"

namespace {

// A page like the check lists: a caption and 60 rows of six cells of mixed Japanese and digits.
re::PreparedReport DenseList(int pages) {
  re::TextShaper shaper;
  const re::FontSpec gothic{"ＭＳ ゴシック", 9};
  if (!shaper.Resolve(gothic, nullptr)) return {};
  const float ascent = shaper.Metrics(gothic).ascent_mm;
  re::PreparedReport report;
  for (int p = 0; p < pages; ++p) {
    re::PreparedPage page;
    for (int row = 0; row < 60; ++row) {
      const float top = 15 + row * 4.5f;
      for (int col = 0; col < 6; ++col) {
        const std::string text = "保険者" + std::to_string(p * 1000 + row * 10 + col) + " 点数";
        auto& item = std::get<re::TextItem>(page.items.emplace_back(re::TextItem{}));
        item.line = shaper.Shape(gothic, text);
        item.x = 10.5f + col * 32;
        item.y = top + 0.3f + ascent;
        item.clip = {10.0f + col * 32, top, 32, 4.5f};
      }
      auto& rule = std::get<re::LineItem>(page.items.emplace_back(re::LineItem{}));
      rule.x1 = 10;
      rule.x2 = 202;
      rule.y1 = rule.y2 = top + 4.5f;
    }
    report.pages.push_back(std::move(page));
  }
  report.fonts = shaper.fonts();
  return report;
}

double MsPerPage(const re::PageRenderer& renderer, const re::PreparedReport& report, double dpi) {
  QElapsedTimer timer;
  timer.start();
  for (const re::PreparedPage& page : report.pages) renderer.Render(page, dpi);
  return static_cast<double>(timer.nsecsElapsed()) / 1e6 / static_cast<double>(report.pages.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  const re::PreparedReport report = DenseList(pages);
  if (report.pages.empty()) {
    std::fprintf(stderr, "the template fonts are not installed\n");
    return 1;
  }
  std::printf("%d dense pages (360 text items, 60 rules each)\n", pages);
  {
    re::PageRenderer cold(report.fonts);
    QElapsedTimer timer;
    timer.start();
    cold.Render(report.pages[0], 96);
    std::printf("first page, glyph cache cold:     %8.2f ms\n", timer.nsecsElapsed() / 1e6);
  }
  re::PageRenderer renderer(report.fonts);
  renderer.Render(report.pages[0], 96);
  std::printf("page at 100 %% (96 dpi):           %8.2f ms/page\n", MsPerPage(renderer, report, 96));
  std::printf("page at 200 %% (192 dpi):          %8.2f ms/page\n", MsPerPage(renderer, report, 192));
  std::printf("thumbnail (12 dpi):               %8.2f ms/page\n", MsPerPage(renderer, report, 12));

  QTemporaryDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.path() + "/print.pdf");
  printer.setFullPage(true);
  QElapsedTimer timer;
  timer.start();
  QPainter painter(&printer);
  for (size_t i = 0; i < report.pages.size(); ++i) {
    if (i > 0) printer.newPage();
    renderer.Draw(painter, report.pages[i], QPointF(0, 0), printer.resolution() / 25.4);
  }
  painter.end();
  std::printf("printing to a PDF printer:        %8.2f ms/page\n",
              timer.nsecsElapsed() / 1e6 / static_cast<double>(report.pages.size()));
  return 0;
}
