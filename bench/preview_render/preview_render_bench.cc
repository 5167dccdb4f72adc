// How long the preview takes to draw a dense list page: the first time (faces and glyphs not yet
// cached) and again, at 100 % and 200 % and as a thumbnail; and how long printing the whole list
// takes, by the old way (pages drawn through Qt's print engine, which turns the text into
// outlines) and by the preview's way (the engine's own PDF sent to an IPP printer through CUPS).
// And how long the preview of the 10,000-row patient list takes from the start of its preparation
// to its first page drawn in the window (goal: <= 150 ms), beside preparing the whole list
// before drawing its first page.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

#include <QFileInfo>

#include "kavel/templates/templates.h"
#include "reportengine/layout/report.h"
#include "reportengine/model/layout_memory_rows.h"
#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/qt/cups_printer.h"
#include "reportengine/qt/ipp_printer_for_testing.h"
#include "reportengine/qt/page_renderer.h"
#include "reportengine/qt/preview_dialogs.h"
#include "reportengine/qt/preview_window.h"
#include "reportengine/qt/report_preview_source.h"
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

// The patient list's fields with `count` rows of invented Japanese content.
re::MemoryRows PatientRows(int count) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 1; i <= count; ++i) {
    rows.push_back({std::to_string(i), std::to_string(100000 + i * 37 % 900000),
                    "患者　" + std::to_string(i), "ｶﾝｼﾞｬ " + std::to_string(i), "S50.01.01",
                    "男", "国保", i % 13 == 0 ? "再請求" : "", "1"});
  }
  return re::MemoryRows({"num", "Line1", "Line2", "Line3", "Line4", "Line5", "Line6", "Line7",
                         "Line8"},
                        std::move(rows));
}

// Preparing the whole report, then drawing its page 1.
double WholeThenFirstPageMs(int count) {
  re::MemoryRows rows = PatientRows(count);
  re::Report report(kavel::templates::Report3());
  report.AddDataset({"DBDataset3", &rows});
  report.set_row_rule(kavel::templates::ChartNumberRule);
  QElapsedTimer timer;
  timer.start();
  report.PrepareReport(true);  // a field the invented rows lack prints empty; the pages stand
  if (report.prepared().pages.empty()) return -1;
  re::PageRenderer renderer(report.prepared().fonts);
  renderer.Render(report.prepared().pages[0], 96);
  return timer.nsecsElapsed() / 1e6;
}

// The preview window's way: from the start of its preparation until its first page has been
// painted in the window (the rest are still being made). *whole_ms: until the last page is in.
double PreviewFirstPageMs(int count, double* whole_ms) {
  re::MemoryRows rows = PatientRows(count);
  re::Report report(kavel::templates::Report3());
  report.AddDataset({"DBDataset3", &rows});
  report.set_row_rule(kavel::templates::ChartNumberRule);
  re::ReportPreviewSource source(report, nullptr, {});
  re::QtPreviewDialogs dialogs;
  re::PreviewWindow window(source, dialogs, re::PreviewOptions{}, re::PrintOptions{});
  window.resize(1000, 800);
  window.show();
  QCoreApplication::processEvents();
  QElapsedTimer timer;
  timer.start();
  window.Prepare();
  while (window.page_count() == 0 && !window.prepared()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  }
  window.repaint();  // paints the page in view, now
  const double first_ms = timer.nsecsElapsed() / 1e6;
  while (!window.prepared()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  *whole_ms = timer.nsecsElapsed() / 1e6;
  window.close();
  return window.page_count() > 0 ? first_ms : -1;
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
  const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
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

  double whole_ms = 0;
  const double first_ms = PreviewFirstPageMs(10000, &whole_ms);
  std::printf("preview, 10,000 rows, start to first page drawn: %8.1f ms\n", first_ms);
  std::printf("preview, all 10,000 rows' pages in the window:   %8.1f ms\n", whole_ms);
  std::printf("whole preparation of 10,000 rows, then page 1:   %8.1f ms\n", WholeThenFirstPageMs(10000));

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
  const double old_ms = timer.nsecsElapsed() / 1e6;
  std::printf("print, old way (Qt print engine):  %8.0f ms for %d pages, job %.1f MB\n", old_ms,
              pages, QFileInfo(dir.path() + "/print.pdf").size() / 1e6);

  // The preview's way: the engine writes the PDF, CUPS sends it to a real IPP printer.
  re::testing::IppPrinter ipp;
  QString error;
  if (!ipp.Start(&error)) {
    std::printf("print, new way: no IPP printer (%s)\n", qPrintable(error));
    return 0;
  }
  timer.restart();
  re::PdfExporter pdf;
  pdf.FileName = (dir.path() + "/engine.pdf").toStdString();
  std::vector<std::string> errors;
  if (!pdf.Export(report, nullptr, &errors)) {
    std::printf("print, new way: export failed\n");
    return 1;
  }
  const double export_ms = timer.nsecsElapsed() / 1e6;
  re::PrintJobSettings job;
  job.printer = ipp.uri().toStdString();
  job.title = "bench";
  std::string send_error;
  if (re::SendPdfToPrinter(job, pdf.FileName, {}, &send_error) != re::PrintResult::kPrinted) {
    std::printf("print, new way: %s\n", send_error.c_str());
    return 1;
  }
  const double new_ms = timer.nsecsElapsed() / 1e6;
  std::printf("print, new way (engine PDF + CUPS): %8.0f ms for %d pages (PDF %.0f ms), job %.1f MB\n",
              new_ms, pages, export_ms,
              QFileInfo(QString::fromStdString(pdf.FileName)).size() / 1e6);
  std::printf("new way takes %.1f %% of the old way's time\n", 100 * new_ms / old_ms);
  return 0;
}
