#include "reportengine/qt/preview_window.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/layout/prepared_report_file.h"
#include "reportengine/qt/image_difference_for_testing.h"
#include "reportengine/qt/page_renderer.h"
#include "reportengine/qt/page_view.h"
#include "reportengine/qt/preview_dialogs.h"
#include "reportengine/qt/preview_source.h"
#include "reportengine/qt/sample_report_for_testing.h"

namespace re {
namespace {

// The engine side of the window: pages from memory, the engine's real file format and PDF
// writer, and a record of what reached the error box.
class FakeSource : public PreviewSource {
 public:
  explicit FakeSource(PreparedReport pages) : pages_(std::move(pages)) {}

  PreparedReport Prepare() override {
    ++prepare_calls;
    if (QWidget* modal = QApplication::activeModalWidget()) window_shown_when_preparing = modal->isVisible();
    if (since_show.isValid()) ms_after_show = since_show.elapsed();
    return pages_;
  }
  bool Save(const PreparedReport& report, const std::string& path, std::string* error) override {
    return SavePreparedReport(report, path, error);
  }
  std::optional<PreparedReport> Load(const std::string& path, std::string* error) override {
    return LoadPreparedReport(path, error);
  }
  bool ExportPdf(const PreparedReport& report, const std::string& path,
                 ExportProgress* progress) override {
    PdfExporter pdf;
    pdf.FileName = path;
    std::vector<std::string> errors;
    const bool ok = pdf.Export(report, progress, &errors);
    ShowErrors(errors);
    return ok;
  }
  void ShowErrors(const std::vector<std::string>& errors) override {
    shown_errors.insert(shown_errors.end(), errors.begin(), errors.end());
  }

  int prepare_calls = 0;
  bool window_shown_when_preparing = false;
  QElapsedTimer since_show;
  qint64 ms_after_show = -1;
  std::vector<std::string> shown_errors;

 private:
  PreparedReport pages_;
};

class FakeDialogs : public PreviewDialogs {
 public:
  QString OpenFileName(QWidget*) override { return open_path; }
  QString SaveFileName(QWidget*) override { return save_path; }
  QString ExportFileName(QWidget*) override { return export_path; }
  bool Print(QWidget*, QPrinter& printer, int page_count) override {
    print_dialog_pages = page_count;
    if (print_path.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(print_path);
    printer.setFromTo(print_from, print_to);
    return true;
  }
  bool PageSetup(QWidget*, QPrinter&) override { return false; }

  QString open_path, save_path, export_path, print_path;
  int print_from = 0, print_to = 0;
  int print_dialog_pages = 0;
};

QString RunTool(const QString& program, const QStringList& args, int* exit_code = nullptr) {
  QProcess process;
  process.start(program, args);
  process.waitForFinished(20000);
  if (exit_code) *exit_code = process.exitCode();
  return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

class PreviewWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    std::string error;
    pages_ = testing::SampleReport(&error);
    ASSERT_EQ(pages_.pages.size(), 3u) << error;
    source_ = std::make_unique<FakeSource>(pages_);
  }

  // A window shown (not modal) with its pages prepared and keyboard focus.
  std::unique_ptr<PreviewWindow> OpenPrepared(PreviewOptions options = {}) {
    auto window = std::make_unique<PreviewWindow>(*source_, dialogs_, options, PrintOptions{});
    window->resize(1000, 800);
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->prepared(); }, 5000));
    return window;
  }

  QString Path(const char* name) const { return dir_.path() + "/" + name; }

  QTemporaryDir dir_;
  PreparedReport pages_;
  std::unique_ptr<FakeSource> source_;
  FakeDialogs dialogs_;
};

TEST_F(PreviewWindowTest, OpensModalAndMaximisedThenPreparesFromTheTimer) {
  PreviewWindow window(*source_, dialogs_, PreviewOptions{}, PrintOptions{});
  bool checked_open = false, checked_prepared = false;
  QTimer::singleShot(0, [&] {
    source_->since_show.start();
    EXPECT_EQ(QApplication::activeModalWidget(), &window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Preview"));
    EXPECT_FALSE(window.prepared());  // pages are built only once the window is up
    EXPECT_EQ(source_->prepare_calls, 0);
    checked_open = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.prepared(); }, 5000));
    EXPECT_EQ(source_->prepare_calls, 1);
    EXPECT_TRUE(source_->window_shown_when_preparing);
    EXPECT_GE(source_->ms_after_show, 40);
    EXPECT_EQ(window.page_count(), 3);
    EXPECT_EQ(window.page_number(), 1);
    EXPECT_DOUBLE_EQ(window.zoom(), 1.0);
    // 100 %: an A4 page is as wide as 210 mm at 96 dpi.
    const PageView* view = window.findChild<PageView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_NEAR(view->width() - 20, 210 * 96 / 25.4, 1);
    checked_prepared = true;
    QTest::keyClick(&window, Qt::Key_Escape);  // Esc closes
  });
  window.Run();  // returns when the window is closed
  EXPECT_TRUE(checked_open);
  EXPECT_TRUE(checked_prepared);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(PreviewWindowTest, KeysButtonsAndPageFieldMoveBetweenPages) {
  auto window = OpenPrepared();
  struct Step {
    std::function<void()> act;
    int page;
  } steps[] = {
      {[&] { QTest::keyClick(window.get(), Qt::Key_PageDown); }, 2},
      {[&] { QTest::keyClick(window.get(), Qt::Key_PageDown); }, 3},
      {[&] { QTest::keyClick(window.get(), Qt::Key_PageDown); }, 3},  // stays on the last
      {[&] { QTest::keyClick(window.get(), Qt::Key_Home); }, 1},
      {[&] { QTest::keyClick(window.get(), Qt::Key_PageUp); }, 1},    // stays on the first
      {[&] { QTest::keyClick(window.get(), Qt::Key_End); }, 3},
      {[&] { QTest::keyClick(window.get(), Qt::Key_PageUp); }, 2},
      {[&] { window->action("first")->trigger(); }, 1},
      {[&] { window->action("next")->trigger(); }, 2},
      {[&] { window->action("last")->trigger(); }, 3},
      {[&] { window->action("prior")->trigger(); }, 2},
      {[&] {
         auto* field = window->findChild<QLineEdit*>("pageNumber");
         field->selectAll();
         QTest::keyClicks(field, "3");
         QTest::keyClick(field, Qt::Key_Return);
       }, 3},
      {[&] {
         auto* outline = window->findChild<QTreeWidget*>();
         emit outline->itemClicked(outline->topLevelItem(0), 0);
       }, 1},
  };
  int n = 0;
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(window->page_number(), step.page) << "step " << n++;
  }
  EXPECT_FALSE(window->action("first")->isEnabled());
  EXPECT_TRUE(window->action("last")->isEnabled());
}

TEST_F(PreviewWindowTest, ZoomStepsAndFits) {
  auto window = OpenPrepared();
  const double in[] = {1.5, 2.0, 3.0, 4.0, 4.0};
  for (double z : in) {
    window->action("zoomIn")->trigger();
    EXPECT_DOUBLE_EQ(window->zoom(), z);
  }
  window->action("zoom100")->trigger();
  EXPECT_DOUBLE_EQ(window->zoom(), 1.0);
  const double out[] = {0.75, 0.5, 0.25, 0.25};
  for (double z : out) {
    QTest::keyClick(window.get(), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(window->zoom(), z);
  }

  auto* scroll = window->findChild<QScrollArea*>();
  const PageView* view = window->findChild<PageView*>();
  window->action("wholePage")->trigger();
  EXPECT_LE(view->width(), scroll->maximumViewportSize().width());
  EXPECT_LE(view->height(), scroll->maximumViewportSize().height());
  EXPECT_GE(view->height(), scroll->maximumViewportSize().height() - 2);

  window->action("pageWidth")->trigger();
  const double before = window->zoom();
  // Once the vertical scroll bar has appeared, the page fills the width left beside it.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return std::abs(view->width() - scroll->viewport()->width()) <= 3; }, 2000))
      << view->width() << " " << scroll->viewport()->width();
  // The fit follows the window's size.
  window->resize(700, 800);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->zoom() < before; }, 2000));
  EXPECT_EQ(window->zoom_mode(), PreviewWindow::ZoomMode::kPageWidth);

  window->action("fullScreen")->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->isFullScreen(); }, 2000));
  window->action("fullScreen")->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isFullScreen(); }, 2000));
}

TEST_F(PreviewWindowTest, FindMovesToEachHitAcrossPages) {
  auto window = OpenPrepared();
  // Ctrl+F opens the find bar with the cursor in its field.
  QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
  auto* field = window->findChild<QLineEdit*>("findText");
  ASSERT_TRUE(field->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }, 2000));
  QTest::keyClicks(field, "sample");  // case-insensitive: "Sample" on 1, "SAMPLE" on 3
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(window->hit_count(), 2);
  EXPECT_EQ(window->current_hit()->first, 1);
  QTest::keyClick(field, Qt::Key_Return);  // Enter again: next hit
  EXPECT_EQ(window->page_number(), 3);
  window->FindNext();  // wraps
  EXPECT_EQ(window->page_number(), 1);
  window->FindPrevious();
  EXPECT_EQ(window->page_number(), 3);

  struct Case {
    const char* text;
    int from_page;
    int hits;
    int lands_on;
  } cases[] = {
      {testing::kJapaneseOnPage2, 1, 1, 2},
      {"Sample", 2, 2, 3},            // starts on the page shown
      {"平成２７年", 3, 3, 3},        // the title on every page
      {"nowhere to be found", 2, 0, 2},
      {"", 1, 0, 1},
  };
  for (const Case& c : cases) {
    window->GoToPage(c.from_page);
    EXPECT_EQ(window->Find(QString::fromUtf8(c.text)), c.hits) << c.text;
    EXPECT_EQ(window->page_number(), c.lands_on) << c.text;
    EXPECT_EQ(window->current_hit().has_value(), c.hits > 0) << c.text;
  }
}

TEST_F(PreviewWindowTest, ShowsOnlyTheButtonsOfTheReportsSet) {
  auto standard = OpenPrepared();
  for (const char* name : {"print", "open", "save", "export", "find", "zoomIn", "zoomOut",
                           "zoom100", "pageWidth", "wholePage", "fullScreen", "sidePanel",
                           "pageSettings", "first", "prior", "next", "last", "close"}) {
    ASSERT_NE(standard->action(name), nullptr) << name;
    EXPECT_TRUE(standard->action(name)->isVisible()) << name;
  }
  EXPECT_EQ(standard->action("edit"), nullptr);  // no designer in this program
  standard->close();

  PreviewOptions options;
  options.buttons = kPbZoom | kPbFind;
  auto reduced = OpenPrepared(options);
  EXPECT_FALSE(reduced->action("print")->isVisible());
  EXPECT_FALSE(reduced->action("next")->isVisible());
  EXPECT_TRUE(reduced->action("zoomIn")->isVisible());
  EXPECT_TRUE(reduced->action("close")->isVisible());
}

TEST_F(PreviewWindowTest, RemembersZoomAndSidePanelPerUser) {
  {
    auto first = OpenPrepared();
    first->action("sidePanel")->trigger();
    EXPECT_TRUE(first->side_panel_visible());
    first->SetZoom(2.0);
    first->close();
  }
  PreviewOptions remembered;
  remembered.zoom.reset();  // a report that asks for no zoom of its own
  auto second = OpenPrepared(remembered);
  EXPECT_TRUE(second->side_panel_visible());
  EXPECT_DOUBLE_EQ(second->zoom(), 2.0);
  second->action("sidePanel")->trigger();
  second->close();
  auto third = OpenPrepared();  // the templates' own zoom wins
  EXPECT_FALSE(third->side_panel_visible());
  EXPECT_DOUBLE_EQ(third->zoom(), 1.0);
}

TEST_F(PreviewWindowTest, SaveThenOpenGivesTheSamePages) {
  auto window = OpenPrepared();
  dialogs_.save_path = Path("list.nvkp");
  window->action("save")->trigger();
  ASSERT_TRUE(QFile::exists(dialogs_.save_path));

  FakeSource empty_source(PreparedReport{});
  PreviewWindow other(empty_source, dialogs_, PreviewOptions{}, PrintOptions{});
  other.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return other.prepared(); }, 5000));
  EXPECT_EQ(other.page_count(), 0);
  EXPECT_FALSE(other.action("print")->isEnabled());
  dialogs_.open_path = dialogs_.save_path;
  other.action("open")->trigger();
  EXPECT_EQ(SerializePreparedReport(other.report()), SerializePreparedReport(pages_));
  EXPECT_EQ(other.page_number(), 1);
  EXPECT_TRUE(other.action("print")->isEnabled());

  // A file that is not a prepared report: the error box says so, the pages stay.
  QFile junk(Path("junk.nvkp"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("not a report");
  junk.close();
  EXPECT_FALSE(other.OpenFrom(junk.fileName()));
  ASSERT_EQ(empty_source.shown_errors.size(), 1u);
  EXPECT_EQ(other.page_count(), 3);
  // Cancelling the dialog does nothing.
  dialogs_.open_path.clear();
  other.action("open")->trigger();
  EXPECT_EQ(empty_source.shown_errors.size(), 1u);
}

TEST_F(PreviewWindowTest, ExportWritesAPdfThatQpdfAccepts) {
  auto window = OpenPrepared();
  dialogs_.export_path = Path("list.pdf");
  window->action("export")->trigger();
  int code = -1;
  const QString check = RunTool("qpdf", {"--check", dialogs_.export_path}, &code);
  EXPECT_EQ(code, 0) << check.toStdString();
  EXPECT_EQ(RunTool("qpdf", {"--show-npages", dialogs_.export_path}).trimmed(), "3");
  EXPECT_TRUE(source_->shown_errors.empty());

  // A folder that does not exist: reported in the error box, nothing written.
  EXPECT_FALSE(window->ExportTo(Path("missing/list.pdf")));
  EXPECT_EQ(source_->shown_errors.size(), 1u);
}

TEST_F(PreviewWindowTest, PrintsTheChosenPagesThroughThePrintDialog) {
  auto window = OpenPrepared();
  dialogs_.print_path = Path("printed.pdf");
  QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(dialogs_.print_dialog_pages, 3);
  EXPECT_EQ(RunTool("qpdf", {"--show-npages", dialogs_.print_path}).trimmed(), "3");
  const QString info = RunTool("pdfinfo", {dialogs_.print_path});
  EXPECT_TRUE(info.contains("A4")) << info.toStdString();

  dialogs_.print_path = Path("range.pdf");
  dialogs_.print_from = 2;
  dialogs_.print_to = 3;
  window->action("print")->trigger();
  EXPECT_EQ(RunTool("qpdf", {"--show-npages", dialogs_.print_path}).trimmed(), "2");
  // The first sheet printed is page 2, as the screen shows it.
  ASSERT_EQ(QProcess::execute("pdftoppm", {"-r", "96", "-f", "1", "-l", "1", "-png",
                                           dialogs_.print_path, Path("sheet")}),
            0);
  const QImage sheet(Path("sheet-1.png"));
  ASSERT_FALSE(sheet.isNull());
  PageRenderer renderer(pages_.fonts);
  const testing::Difference d = testing::Compare(renderer.Render(pages_.pages[1], 96), sheet);
  EXPECT_LT(d.far_off, 0.0008);
  EXPECT_NEAR(d.ink_a, d.ink_b, d.ink_b * 0.05);

  dialogs_.print_path.clear();  // cancelled
  window->action("print")->trigger();
  EXPECT_TRUE(source_->shown_errors.empty());
}

}  // namespace
}  // namespace re
