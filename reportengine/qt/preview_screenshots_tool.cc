// Opens the preview on the real display and saves screenshots of what a reviewer should see:
// the window as it opens, the thumbnails when the panel was left open last time, the find
// highlight on a value that wraps in its cell, full screen, and the sheet after choosing
// landscape in the page settings. Used by scripts/preview-screenshots.sh under Xvfb; not a test.
//
// Usage: preview_screenshots <output folder> [prefix]
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPageLayout>
#include <QPixmap>
#include <QPrinter>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/layout/prepared_report_file.h"
#include "reportengine/qt/preview_dialogs.h"
#include "reportengine/qt/preview_source.h"
#include "reportengine/qt/preview_window.h"
#include "reportengine/qt/sample_report_for_testing.h"

namespace {

// The sample list, 148 pages long, through the engine's real file format and PDF writer.
class SampleSource : public re::PreviewSource {
 public:
  explicit SampleSource(re::PreparedReport pages) : pages_(std::move(pages)) {}
  re::PreparedReport Prepare() override { return pages_; }
  bool Save(const re::PreparedReport& r, const std::string& path, std::string* error) override {
    return re::SavePreparedReport(r, path, error);
  }
  std::optional<re::PreparedReport> Load(const std::string& path, std::string* error) override {
    return re::LoadPreparedReport(path, error);
  }
  bool ExportPdf(const re::PreparedReport& r, const std::string& path,
                 re::ExportProgress* progress) override {
    re::PdfExporter pdf;
    pdf.FileName = path;
    std::vector<std::string> errors;
    return pdf.Export(r, progress, &errors);
  }
  void ShowErrors(const std::vector<std::string>& errors) override {
    for (const std::string& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
  }

 private:
  re::PreparedReport pages_;
};

// Page settings answered with landscape, as a user would choose it.
class LandscapeDialogs : public re::QtPreviewDialogs {
 public:
  bool PageSetup(QWidget*, QPrinter& printer) override {
    printer.setPageOrientation(QPageLayout::Landscape);
    return true;
  }
};

void Shot(const QString& path) {
  QTest::qWait(400);  // let the window manager and the thumbnails settle
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen->grabWindow(0).save(path)) std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
  else std::printf("%s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: preview_screenshots <output folder> [prefix]\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QString prefix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("preview");
  QDir().mkpath(out);
  std::string error;
  const re::PreparedReport sample = re::testing::SampleReport(&error);
  if (sample.pages.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  re::PreparedReport pages;
  pages.fonts = sample.fonts;
  for (int i = 0; i < 148; ++i) pages.pages.push_back(sample.pages[i % sample.pages.size()]);
  SampleSource source(pages);
  LandscapeDialogs dialogs;

  // Runs `steps` inside an open, prepared preview window, then closes it.
  const auto with_window = [&](const std::function<void(re::PreviewWindow&)>& steps) {
    re::PreviewWindow window(source, dialogs, re::PreviewOptions{}, re::PrintOptions{});
    QTimer::singleShot(0, [&] {
      if (QTest::qWaitFor([&] { return window.prepared(); }, 10000)) steps(window);
      window.action("close")->trigger();
    });
    window.Run();
  };

  with_window([&](re::PreviewWindow& window) {
    Shot(out + "/" + prefix + "-opened.png");
    window.SetSidePanelVisible(true);
    window.findChild<QTabWidget*>()->setCurrentIndex(1);  // remembered for the next opening
  });
  with_window([&](re::PreviewWindow& window) {
    QTest::qWait(1500);  // the thumbnails are drawn a few at a time
    Shot(out + "/" + prefix + "-thumbnails-remembered.png");
    window.SetSidePanelVisible(false);
    window.SetZoom(2.0);
    window.action("find")->trigger();
    auto* field = window.findChild<QLineEdit*>("findText");
    field->setText(QString::fromUtf8(re::testing::kWrappedOnPage2));  // as the input method leaves it
    QTest::keyClick(field, Qt::Key_Return);
    Shot(out + "/" + prefix + "-find-wrapped.png");
    window.Find(QString::fromUtf8(re::testing::kCutOnPage2));
    Shot(out + "/" + prefix + "-find-cut-cell.png");
    window.Find(QStringLiteral("ｓａｍｐｌｅ"));
    Shot(out + "/" + prefix + "-find-full-width.png");
    QTest::keyClick(&window, Qt::Key_Escape);  // leaves the find bar, not the window
    window.SetZoom(1.0);
    QTest::keyClick(&window, Qt::Key_F11);
    Shot(out + "/" + prefix + "-full-screen.png");
    QTest::keyClick(&window, Qt::Key_Escape);
    window.action("pageSettings")->trigger();
    window.FitWholePage();
    Shot(out + "/" + prefix + "-landscape-sheet.png");
  });
  return 0;
}
