#include "reportengine/qt/preview_window.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/layout/prepared_report_file.h"
#include "reportengine/qt/image_difference_for_testing.h"
#include "reportengine/qt/ipp_printer_for_testing.h"
#include "reportengine/qt/page_renderer.h"
#include "reportengine/qt/cups_printer.h"
#include "reportengine/qt/page_view.h"
#include "reportengine/qt/preview_dialogs.h"
#include "reportengine/qt/preview_source.h"
#include "reportengine/qt/preview_texts.h"
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

// A source that prepares in steps, as the engine's does: page 1 at once, the others only once
// the test lets them come.
class SteppedSource : public FakeSource {
 public:
  explicit SteppedSource(PreparedReport pages) : FakeSource(pages), all_(std::move(pages)) {}

  bool PreparesInSteps() const override { return true; }
  std::vector<FontFace> PrepareInSteps(PageStream& stream) override {
    stream.Fonts(all_.fonts);
    stream.Page(all_.pages[0]);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      released_.wait_for(lock, std::chrono::seconds(10), [&] { return release_; });
    }
    for (size_t i = 1; i < all_.pages.size(); ++i) stream.Page(all_.pages[i]);
    return all_.fonts;
  }
  void EndPreparation() override { ++end_calls; }

  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    release_ = true;
    released_.notify_all();
  }

  int end_calls = 0;  // the window's thread only

 private:
  const PreparedReport all_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool release_ = false;
};

class FakeDialogs : public PreviewDialogs {
 public:
  QString OpenFileName(QWidget*) override { return open_path; }
  QString SaveFileName(QWidget*) override { return save_path; }
  QString ExportFileName(QWidget*) override { return export_path; }
  // Chooses as a user would in the print dialog: the printer, the range, copies and sides.
  bool Print(QWidget*, QPrinter& printer, int page_count, PrintJobSettings* job) override {
    print_dialog_pages = page_count;
    if (printer_name.isEmpty() && print_file.isEmpty()) return false;
    job->printer = printer_name.toStdString();
    printer.setOutputFileName(print_file);
    job->sides = sides;
    if (print_from > 0) {
      printer.setPrintRange(QPrinter::PageRange);
      printer.setFromTo(print_from, print_to);
    } else {
      printer.setPrintRange(QPrinter::AllPages);
    }
    printer.setCopyCount(copies);
    return true;
  }
  // Sees the margins the dialog opens with, then chooses `orientation` when set.
  bool PageSetup(QWidget*, QPrinter& printer) override {
    setup_margins = printer.pageLayout().margins(QPageLayout::Millimeter);
    if (!orientation) return false;
    printer.setPageOrientation(*orientation);
    return true;
  }

  QString open_path, save_path, export_path, printer_name, print_file;
  int print_from = 0, print_to = 0, copies = 1;
  PrintJobSettings::Sides sides = PrintJobSettings::Sides::kOneSided;
  int print_dialog_pages = 0;
  std::optional<QPageLayout::Orientation> orientation;
  QMarginsF setup_margins;
};

QString RunTool(const QString& program, const QStringList& args, int* exit_code = nullptr) {
  QProcess process;
  process.start(program, args);
  process.waitForFinished(20000);
  if (exit_code) *exit_code = process.exitCode();
  return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

// `pages` repeated until there are `count`.
PreparedReport Repeated(const PreparedReport& pages, int count) {
  PreparedReport out;
  out.fonts = pages.fonts;
  for (int i = 0; i < count; ++i) out.pages.push_back(pages.pages[i % pages.pages.size()]);
  return out;
}

void Wheel(QWidget* target, int degrees, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  const QPointF at(target->width() / 2.0, target->height() / 2.0);
  QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, degrees * 8),
                    Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &event);
}

class PreviewWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    // Every test starts without remembered settings.
    QDir config(qEnvironmentVariable("XDG_CONFIG_HOME"));
    ASSERT_TRUE(config.removeRecursively() && config.mkpath("."));
    std::string error;
    pages_ = testing::SampleReport(&error);
    ASSERT_EQ(pages_.pages.size(), 3u) << error;
    source_ = std::make_unique<FakeSource>(pages_);
  }

  // A window shown (not modal) with its pages prepared and keyboard focus.
  std::unique_ptr<PreviewWindow> OpenPrepared(PreviewOptions options = {},
                                              FakeSource* source = nullptr) {
    auto window = std::make_unique<PreviewWindow>(source ? *source : *source_, dialogs_, options,
                                                  PrintOptions{});
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

TEST_F(PreviewWindowTest, OpensModalLargeAndJapaneseThenPreparesFromTheTimer) {
  PreviewWindow window(*source_, dialogs_, PreviewOptions{}, PrintOptions{});
  bool checked_open = false, checked_prepared = false;
  QTimer::singleShot(0, [&] {
    source_->since_show.start();
    EXPECT_EQ(QApplication::activeModalWidget(), &window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
    // Even where nothing maximises it, the window has most of the screen.
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_GE(window.width(), screen.width() * 0.85);
    EXPECT_GE(window.height(), screen.height() * 0.85);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Preview"));
    // Every button and its tip speak Japanese (the zoom factor is a number).
    for (QAction* action : window.findChildren<QAction*>(Qt::FindDirectChildrenOnly)) {
      if (action->objectName().isEmpty() || action->objectName() == "zoom100") continue;
      const auto japanese = [](const QString& text) {
        return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000; });
      };
      EXPECT_TRUE(japanese(action->text())) << action->objectName().toStdString();
      EXPECT_TRUE(japanese(action->toolTip())) << action->objectName().toStdString();
    }
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
    EXPECT_NEAR(view->PageRect(0).width(), 210 * 96 / 25.4, 1);
    checked_prepared = true;
    QTest::keyClick(&window, Qt::Key_Escape);  // Esc in the plain window closes
  });
  window.Run();  // returns when the window is closed
  EXPECT_TRUE(checked_open);
  EXPECT_TRUE(checked_prepared);
  EXPECT_FALSE(window.isVisible());
}

// The first page is drawn while the others are still being made; the window answers meanwhile,
// its page count grows as pages arrive, and what needs every page waits for the last one. A
// window closed while pages are still coming waits for them and ends the preparation.
TEST_F(PreviewWindowTest, FirstPageShowsWhileTheRestArePrepared) {
  for (const bool close_early : {false, true}) {
    SCOPED_TRACE(close_early ? "closed while preparing" : "left open");
    SteppedSource source(pages_);
    PreviewWindow window(source, dialogs_, PreviewOptions{}, PrintOptions{});
    window.resize(1000, 800);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.page_count() == 1; }, 5000));
    EXPECT_TRUE(window.preparing());
    EXPECT_FALSE(window.prepared());
    EXPECT_EQ(window.page_number(), 1);
    const PageView* view = window.findChild<PageView*>();
    ASSERT_NE(view, nullptr);
    const QImage drawn = const_cast<PageView*>(view)->grab(view->PageRect(0)).toImage();
    bool inked = false;
    for (int y = 0; y < drawn.height() && !inked; y += 2) {
      for (int x = 0; x < drawn.width() && !inked; x += 2) inked = qGray(drawn.pixel(x, y)) < 128;
    }
    EXPECT_TRUE(inked);
    for (const char* name : {"print", "save", "export", "find", "open"}) {
      EXPECT_FALSE(window.action(name)->isEnabled()) << name;
    }
    source.Release();
    if (close_early) {
      window.close();
    } else {
      ASSERT_TRUE(QTest::qWaitFor([&] { return window.prepared(); }, 5000));
    }
    EXPECT_TRUE(window.prepared());
    EXPECT_FALSE(window.preparing());
    EXPECT_EQ(source.end_calls, 1);
    EXPECT_EQ(SerializePreparedReport(window.report()), SerializePreparedReport(pages_));
    EXPECT_EQ(window.findChild<QListWidget*>()->count(), 3);
    for (const char* name : {"print", "save", "export", "find", "open"}) {
      EXPECT_TRUE(window.action(name)->isEnabled()) << name;
    }
    window.Last();
    EXPECT_EQ(window.page_number(), 3);
  }
}

TEST_F(PreviewWindowTest, EscLeavesTheFindBarAndFullScreenBeforeItCloses) {
  auto window = OpenPrepared();
  QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
  auto* field = window->findChild<QLineEdit*>("findText");
  ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }, 2000));
  QTest::keyClick(window.get(), Qt::Key_F11);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->isFullScreen(); }, 2000));

  QTest::keyClick(field, Qt::Key_Escape);  // typed in the find field: closes the find bar
  EXPECT_FALSE(window->find_bar_visible());
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isFullScreen());
  QTest::keyClick(window.get(), Qt::Key_Escape);  // leaves full screen
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isFullScreen(); }, 2000));
  EXPECT_TRUE(window->isVisible());
  QTest::keyClick(window.get(), Qt::Key_F11);  // F11 goes in and out
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->isFullScreen(); }, 2000));
  QTest::keyClick(window.get(), Qt::Key_F11);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isFullScreen(); }, 2000));
  EXPECT_TRUE(window->isVisible());
  QTest::keyClick(window.get(), Qt::Key_Escape);  // only now the preview closes
  EXPECT_FALSE(window->isVisible());
}

TEST_F(PreviewWindowTest, PagesScrollAsOneAndThePageFieldFollows) {
  auto window = OpenPrepared();
  auto* scroll = window->findChild<QScrollArea*>();
  QScrollBar* bar = scroll->verticalScrollBar();
  const PageView* view = window->findChild<PageView*>();
  auto* field = window->findChild<QLineEdit*>("pageNumber");
  const int screen = scroll->viewport()->height();
  ASSERT_LT(screen, view->PageRect(0).height());  // a page is taller than the window here

  // PgDn moves by one screen: what was at the bottom is now at the top, nothing skipped.
  QTest::keyClick(window.get(), Qt::Key_PageDown);
  EXPECT_EQ(bar->value(), bar->pageStep());
  EXPECT_GE(bar->pageStep(), screen - 40);
  // Further presses cross into page 2 and the page field follows the page that fills the most
  // of the window.
  int presses = 1;
  while (window->page_number() == 1 && presses < 10) {
    QTest::keyClick(window.get(), Qt::Key_PageDown);
    ++presses;
  }
  EXPECT_EQ(window->page_number(), 2);
  EXPECT_EQ(field->text(), "2");
  EXPECT_EQ(bar->value(), presses * bar->pageStep());
  QTest::keyClick(window.get(), Qt::Key_PageUp);
  EXPECT_EQ(bar->value(), (presses - 1) * bar->pageStep());

  // The wheel goes on past the end of a page into the next one.
  window->GoToPage(1);
  EXPECT_EQ(bar->value(), 0);
  for (int i = 0; i < 40 && window->page_number() == 1; ++i) Wheel(scroll->viewport(), -120);
  EXPECT_EQ(window->page_number(), 2);
  EXPECT_GT(bar->value(), view->PageRect(0).height() / 2);
  const int before = bar->value();
  QTest::keyClick(window.get(), Qt::Key_Down);  // the arrow keys scroll a little
  EXPECT_GT(bar->value(), before);

  // Ctrl+wheel zooms instead of scrolling, keeping the page in view.
  Wheel(scroll->viewport(), 120, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(window->zoom(), 1.5);
  EXPECT_EQ(window->page_number(), 2);
  Wheel(scroll->viewport(), -120, Qt::ControlModifier);
  Wheel(scroll->viewport(), -120, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(window->zoom(), 0.75);
  EXPECT_EQ(window->page_number(), 2);

  // The outline marks the page in view.
  auto* outline = window->findChild<QTreeWidget*>();
  EXPECT_EQ(outline->indexOfTopLevelItem(outline->currentItem()), 1);
}

TEST_F(PreviewWindowTest, ButtonsKeysAndThePageFieldMoveBetweenPages) {
  FakeSource long_source(Repeated(pages_, 148));
  auto window = OpenPrepared({}, &long_source);
  auto* field = window->findChild<QLineEdit*>("pageNumber");
  const auto type = [&](const char* text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  };
  struct Step {
    std::function<void()> act;
    int page;
  } steps[] = {
      {[&] { window->action("next")->trigger(); }, 2},
      {[&] { QTest::keyClick(window.get(), Qt::Key_End); }, 148},
      {[&] { window->action("next")->trigger(); }, 148},  // stays on the last
      {[&] { window->action("prior")->trigger(); }, 147},
      {[&] { QTest::keyClick(window.get(), Qt::Key_Home); }, 1},
      {[&] { window->action("prior")->trigger(); }, 1},   // stays on the first
      {[&] { window->action("last")->trigger(); }, 148},
      {[&] { window->action("first")->trigger(); }, 1},
      {[&] { type("120"); }, 120},                         // three digits
      {[&] { type("99"); }, 99},
      {[&] { type("0"); }, 99},                            // 0 cannot be typed
      {[&] { type("149"); }, 99},                          // past the end: refused
      {[&] {
         auto* outline = window->findChild<QTreeWidget*>();
         emit outline->itemClicked(outline->topLevelItem(4), 0);
       }, 5},
  };
  int n = 0;
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(window->page_number(), step.page) << "step " << n;
    EXPECT_EQ(field->text(), QString::number(step.page)) << "step " << n++;
  }
  window->First();
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
  window->GoToPage(2);
  window->action("wholePage")->trigger();
  const QRect page = view->PageRect(1);
  EXPECT_LE(page.width(), scroll->maximumViewportSize().width());
  EXPECT_LE(page.height(), scroll->maximumViewportSize().height() - 2 * 10);
  EXPECT_GE(page.height(), scroll->maximumViewportSize().height() - 2 * 10 - 2);
  EXPECT_EQ(window->page_number(), 2);  // the whole of page 2 is what is shown

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
      {.text = testing::kJapaneseOnPage2, .from_page = 1, .hits = 1, .lands_on = 2},
      {.text = "Sample", .from_page = 2, .hits = 2, .lands_on = 3},  // starts on the page shown
      {.text = "平成２７年", .from_page = 3, .hits = 3, .lands_on = 3},  // the title on every page
      // half-width digits find the full-width ones
      {.text = "平成27年", .from_page = 1, .hits = 3, .lands_on = 1},
      {.text = "ＳＡＭＰＬＥ", .from_page = 1, .hits = 2, .lands_on = 1},  // full-width letters, any case
      {.text = "sAmPlE ROW", .from_page = 1, .hits = 1, .lands_on = 1},
      // full-width katakana finds half-width "ｶﾅ"
      {.text = "カナ", .from_page = 1, .hits = 1, .lands_on = 3},
      // half-width with a sound mark finds "レセプト"
      {.text = "ﾚｾﾌﾟﾄ", .from_page = 1, .hits = 1, .lands_on = 2},
      {.text = "１，２３４", .from_page = 1, .hits = 1, .lands_on = 2},  // full-width digits and comma
      {.text = "nowhere to be found", .from_page = 2, .hits = 0, .lands_on = 2},
      {.text = "", .from_page = 1, .hits = 0, .lands_on = 1},
      {.text = "   ", .from_page = 1, .hits = 0, .lands_on = 1},
  };
  for (const Case& c : cases) {
    window->GoToPage(c.from_page);
    EXPECT_EQ(window->Find(QString::fromUtf8(c.text)), c.hits) << c.text;
    EXPECT_EQ(window->page_number(), c.lands_on) << c.text;
    EXPECT_EQ(window->current_hit().has_value(), c.hits > 0) << c.text;
  }
}

TEST_F(PreviewWindowTest, FindSeesAWrappedValueWholeAndMarksOnlyWhatIsShown) {
  auto window = OpenPrepared();
  const PreparedPage& page2 = window->shown_pages()[1];
  const auto clip_of = [&](int item) {
    const RectMm& c = std::get<TextItem>(page2.items[static_cast<size_t>(item)]).clip;
    return QRectF(c.left, c.top, c.width, c.height);
  };

  // Split over two shown lines: found once, marked on both lines, each inside the cell.
  ASSERT_EQ(window->Find(QString::fromUtf8(testing::kWrappedOnPage2)), 1);
  EXPECT_EQ(window->page_number(), 2);
  QList<QRectF> boxes = window->current_hit_boxes();
  ASSERT_EQ(boxes.size(), 2);
  EXPECT_LT(boxes[0].top(), boxes[1].top());
  const QRectF cell = clip_of(window->current_hit()->second);
  for (const QRectF& box : boxes) EXPECT_TRUE(cell.contains(box)) << box.top();

  // The second line lies below the cell: found whole, but only the shown part is marked, and
  // nothing over the next row.
  ASSERT_EQ(window->Find(QString::fromUtf8(testing::kCutOnPage2)), 1);
  boxes = window->current_hit_boxes();
  ASSERT_EQ(boxes.size(), 1);
  const QRectF cut_cell = clip_of(window->current_hit()->second);
  EXPECT_TRUE(cut_cell.contains(boxes[0]));
  EXPECT_LE(boxes[0].bottom(), cut_cell.bottom() + 1e-3);
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

TEST_F(PreviewWindowTest, RemembersZoomAndSidePanelPerUserUnderItsPlace) {
  {
    auto first = OpenPrepared();
    first->action("sidePanel")->trigger();
    EXPECT_TRUE(first->side_panel_visible());
    first->SetZoom(2.0);
    first->close();
  }
  // Stored under the place the engine names for the preview ("\Software\<vendor>\<program>").
  QStringList place = QString::fromUtf8(preview::kIniFile).split('\\', Qt::SkipEmptyParts).mid(1);
  if (place.size() == 1) place << "Preview";  // a vendor alone: the program's file in its folder
  const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/" + place.join('/') + ".conf";
  EXPECT_TRUE(QFile::exists(file)) << file.toStdString();

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

TEST_F(PreviewWindowTest, ThumbnailsAreWholeWhenThePanelOpensRemembered) {
  {
    auto first = OpenPrepared();
    first->SetSidePanelVisible(true);
    first->findChild<QTabWidget*>()->setCurrentIndex(1);
    first->close();
  }
  for (int count : {2, 148}) {
    FakeSource source(Repeated(pages_, count));
    auto window = OpenPrepared({}, &source);
    ASSERT_TRUE(window->side_panel_visible());
    auto* tabs = window->findChild<QTabWidget*>();
    auto* list = window->findChild<QListWidget*>("thumbnails");
    ASSERT_EQ(tabs->currentWidget(), list);
    ASSERT_EQ(list->count(), count);
    // Both tab labels fit whole.
    for (int t = 0; t < tabs->count(); ++t) {
      EXPECT_GE(tabs->tabBar()->tabRect(t).width(),
                tabs->tabBar()->fontMetrics().horizontalAdvance(tabs->tabText(t)))
          << count;
      EXPECT_LE(tabs->tabBar()->tabRect(t).right(), tabs->width()) << count;
    }
    // Each page has a cell as tall as its picture plus its number, one below the other.
    QTest::qWait(100);
    for (int i = 0; i < std::min(count, 3); ++i) {
      const QRect cell = list->visualItemRect(list->item(i));
      EXPECT_GE(cell.height(), 150) << count << " page " << i + 1;
      EXPECT_EQ(list->item(i)->text(), QString::number(i + 1));
      if (i > 0) {
        EXPECT_GE(cell.top(), list->visualItemRect(list->item(i - 1)).bottom());
      }
    }
    // The pictures arrive and clicking one moves there.
    EXPECT_TRUE(QTest::qWaitFor([&] {
      return !list->item(count - 1)->icon().pixmap(list->iconSize()).isNull();
    }, 10000));
    emit list->itemClicked(list->item(1));
    EXPECT_EQ(window->page_number(), 2);
    window->close();
  }
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

  // A file that is not a prepared report: the error box names it, the pages stay.
  QFile junk(Path("junk.nvkp"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("not a report");
  junk.close();
  EXPECT_FALSE(other.OpenFrom(junk.fileName()));
  ASSERT_EQ(empty_source.shown_errors.size(), 1u);
  EXPECT_NE(empty_source.shown_errors[0].find(junk.fileName().toStdString()), std::string::npos)
      << empty_source.shown_errors[0];
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

TEST_F(PreviewWindowTest, PrintToFileWritesTheEnginesPdfOfTheChosenPages) {
  auto window = OpenPrepared();
  dialogs_.print_file = Path("printed.pdf");
  dialogs_.print_from = 3;
  dialogs_.print_to = 3;
  window->action("print")->trigger();
  EXPECT_EQ(RunTool("qpdf", {"--show-npages", dialogs_.print_file}).trimmed(), "1");
  EXPECT_TRUE(RunTool("pdftotext", {dialogs_.print_file, "-"}).contains("SAMPLE upper case"));
  dialogs_.print_file.clear();  // cancelled: nothing happens
  window->action("print")->trigger();
  EXPECT_TRUE(source_->shown_errors.empty());
}

TEST_F(PreviewWindowTest, PageSettingsOpenOnTheReportsMarginsAndTheSheetIsShownAsItPrints) {
  PreviewOptions options;
  options.margins = {7, 12, 5, 9};
  auto window = OpenPrepared(options);
  const PageView* view = window->findChild<PageView*>();
  dialogs_.orientation.reset();  // cancelled: nothing changes
  window->action("pageSettings")->trigger();
  EXPECT_NEAR(dialogs_.setup_margins.left(), 7, 0.05);
  EXPECT_NEAR(dialogs_.setup_margins.top(), 12, 0.05);
  EXPECT_NEAR(dialogs_.setup_margins.right(), 5, 0.05);
  EXPECT_NEAR(dialogs_.setup_margins.bottom(), 9, 0.05);
  EXPECT_GT(view->PageRect(0).height(), view->PageRect(0).width());

  // Accepted as it opened: the sheet is the page itself, so printing stays the exported file.
  dialogs_.orientation = QPageLayout::Portrait;
  window->action("pageSettings")->trigger();
  EXPECT_EQ(SerializePreparedReport({pages_.fonts, window->shown_pages()}),
            SerializePreparedReport(pages_));

  dialogs_.orientation = QPageLayout::Landscape;
  window->action("pageSettings")->trigger();
  // The preview shows the landscape sheet with the portrait page scaled onto it.
  EXPECT_GT(view->PageRect(0).width(), view->PageRect(0).height());
  EXPECT_NEAR(window->shown_pages()[0].width, 297, 0.5);
  EXPECT_EQ(window->report().pages[0].width, 210.0f);  // the report itself is as designed
  // Found text is marked where it now lies.
  ASSERT_EQ(window->Find("Sample"), 2);
  EXPECT_LT(window->current_hit_boxes()[0].bottom(), 210);
}

// Printing goes to a real IPP printer (ippeveprinter) on 127.0.0.1.
class PreviewPrintTest : public PreviewWindowTest {
 protected:
  void SetUp() override {
    PreviewWindowTest::SetUp();
    QString error;
    if (!printer_.Start(&error)) GTEST_SKIP() << error.toStdString();
    dialogs_.printer_name = printer_.uri();
  }
  testing::IppPrinter printer_;
};

TEST_F(PreviewPrintTest, SendsTheEnginesPdfOfTheChosenPagesToThePrinter) {
  auto window = OpenPrepared();
  dialogs_.print_from = 2;
  dialogs_.print_to = 3;
  dialogs_.copies = 2;
  dialogs_.sides = PrintJobSettings::Sides::kTwoSidedLongEdge;
  QTest::keyClick(window.get(), Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(dialogs_.print_dialog_pages, 3);
  ASSERT_TRUE(source_->shown_errors.empty()) << source_->shown_errors[0];
  ASSERT_TRUE(printer_.WaitForDocuments(1)) << printer_.Log().toStdString();
  const QString job = printer_.Documents().front();

  // The printer received a PDF of pages 2 and 3 whose text is text, as in the exported file.
  EXPECT_EQ(RunTool("qpdf", {"--show-npages", job}).trimmed(), "2");
  const QString text = RunTool("pdftotext", {"-layout", job, "-"});
  EXPECT_TRUE(text.contains(QString::fromUtf8(testing::kJapaneseOnPage2))) << text.toStdString();
  EXPECT_TRUE(text.contains("SAMPLE upper case"));
  EXPECT_FALSE(text.contains("Sample row one"));  // page 1 was not chosen
  dialogs_.export_path = Path("export.pdf");
  window->action("export")->trigger();
  EXPECT_TRUE(RunTool("pdftotext", {"-layout", "-f", "2", dialogs_.export_path, "-"}) == text);
  // With the copies and sides chosen in the dialog.
  const QString attributes = printer_.JobAttributes(1);
  EXPECT_TRUE(attributes.contains("copies (integer) = 2")) << attributes.toStdString();
  EXPECT_TRUE(attributes.contains("sides (keyword) = two-sided-long-edge"))
      << attributes.toStdString();
}

TEST_F(PreviewPrintTest, PrintsTheSheetChosenInThePageSettings) {
  auto window = OpenPrepared();
  dialogs_.orientation = QPageLayout::Landscape;
  window->action("pageSettings")->trigger();
  window->action("print")->trigger();
  ASSERT_TRUE(printer_.WaitForDocuments(1)) << printer_.Log().toStdString();
  const QString info = RunTool("pdfinfo", {printer_.Documents().front()});
  EXPECT_TRUE(info.contains(QRegularExpression("Page size: +841.[0-9]+ x 595"))) << info.toStdString();
  EXPECT_TRUE(RunTool("pdftotext", {printer_.Documents().front(), "-"}).contains("Sample row one"));
}

TEST_F(PreviewPrintTest, ShowsProgressAndCancelSendsNothing) {
  FakeSource long_source(Repeated(pages_, 148));
  auto window = OpenPrepared({}, &long_source);
  // Press cancel in the progress window as soon as it shows.
  bool saw_progress = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* progress = window->findChild<QProgressDialog*>("printProgress");
    if (!progress || !progress->isVisible() || saw_progress) return;
    saw_progress = true;
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QString::fromUtf8(preview::kPrintCancel));
    QTest::mouseClick(cancel, Qt::LeftButton);
  });
  poll.start(0);
  PrintJobSettings job;
  job.printer = printer_.uri().toStdString();
  EXPECT_EQ(window->PrintPages(job, 1, 148), PrintResult::kCancelled);
  poll.stop();
  EXPECT_TRUE(saw_progress);
  EXPECT_TRUE(long_source.shown_errors.empty());
  QTest::qWait(300);
  EXPECT_TRUE(printer_.Documents().isEmpty());
  EXPECT_TRUE(window->isVisible());  // the preview is still there

  // Once sending has begun, a cancel stops the job at the printer.
  int calls = 0;
  std::string error;
  dialogs_.export_path = Path("whole.pdf");
  window->action("export")->trigger();
  EXPECT_EQ(SendPdfToPrinter(job, dialogs_.export_path.toStdString(),
                             [&](uint64_t, uint64_t) { return ++calls < 2; }, &error),
            PrintResult::kCancelled)
      << error;
  // A printer that is not there is an error the user can read.
  job.printer = "ipp://127.0.0.1:1/ipp/print";
  EXPECT_EQ(SendPdfToPrinter(job, dialogs_.export_path.toStdString(), {}, &error),
            PrintResult::kFailed);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace re
