#include "reportengine/qt/qt_previewer.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "reportengine/model/layout_memory_rows.h"
#include "reportengine/layout/prepared_report_file.h"
#include "reportengine/layout/report.h"

namespace re {
namespace {

class RecordingErrorBox : public ErrorReporter {
 public:
  void ShowError(const std::string& caption, const std::string& text) override {
    shown.push_back(caption + "|" + text);
  }
  std::vector<std::string> shown;
};

// A list of `rows` rows under a page header with the page number.
Template ListTemplate(const std::string& field) {
  return Template{
      .name = "Report1",
      .datasets = {"DBDataset1"},
      .bands = {
          {.name = "PageHeader1",
           .kind = BandKind::kPageHeader,
           .height = 10,
           .objects = {TextObject{.name = "Memo1", .rect = {0, 0, 120, 6}, .text = "一覧",
                                  .font = {"ＭＳ Ｐゴシック", 12}},
                       TextObject{.name = "Memo2", .rect = {150, 0, 40, 6}, .text = "[PAGE#]"},
                       LineObject{.name = "Line1", .top = 8, .width = 190}}},
          {.name = "MasterData1",
           .kind = BandKind::kMasterData,
           .height = 6,
           .dataset = "DBDataset1",
           .objects = {TextObject{.name = "Memo3", .rect = {0, 0, 100, 6},
                                  .text = "[DBDataset1.\"" + field + "\"]",
                                  .font = {"ＭＳ ゴシック", 10}}}},
      }};
}

class QtPreviewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 100; ++i) rows_.AddRow({"患者 " + std::to_string(i)});
  }

  // Runs ShowReport on `report`; `inside` runs with the open window, then the window is closed.
  bool Show(Report& report, const std::function<void(PreviewWindow&)>& inside) {
    QtPreviewer previewer(nullptr, &errors_);
    report.set_previewer(&previewer);
    report.set_error_reporter(&errors_);
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* window = qobject_cast<PreviewWindow*>(QApplication::activeModalWidget());
      EXPECT_NE(window, nullptr);
      if (!window) return;
      EXPECT_TRUE(QTest::qWaitFor([&] { return window->prepared(); }, 10000));
      inside(*window);
      ran = true;
      window->close();
    });
    const bool result = report.ShowReport(true);
    EXPECT_TRUE(ran);
    return result;
  }

  MemoryRows rows_{{"Line1"}, {}};
  RecordingErrorBox errors_;
  QTemporaryDir dir_;
};

TEST_F(QtPreviewerTest, ShowReportOpensTheWindowThatPreparesTheReport) {
  Report report(ListTemplate("Line1"));
  report.AddDataset({"DBDataset1", &rows_});
  report.SetPrepared(PreparedReport{{}, {PreparedPage{}}});  // earlier pages are discarded
  const bool shown = Show(report, [&](PreviewWindow& window) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Preview"));
    // Qt's own dialogs (print, page settings, file) speak Japanese while the preview is open.
    EXPECT_EQ(QCoreApplication::translate("QPrintDialog", "Print"), QString::fromUtf8("印刷"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"),
              QString::fromUtf8("キャンセル"));
    EXPECT_GT(window.page_count(), 1);
    EXPECT_EQ(window.page_number(), 1);
    EXPECT_DOUBLE_EQ(window.zoom(), 1.0);
    EXPECT_EQ(SerializePreparedReport(window.report()),
              SerializePreparedReport(report.prepared()));
    EXPECT_EQ(window.Find("患者 100"), 1);
    EXPECT_EQ(window.page_number(), window.page_count());
    // The export button writes through the engine's PDF writer.
    const QString pdf = dir_.path() + "/list.pdf";
    EXPECT_TRUE(window.ExportTo(pdf));
    QProcess qpdf;
    qpdf.start("qpdf", {"--check", pdf});
    ASSERT_TRUE(qpdf.waitForFinished(20000));
    EXPECT_EQ(qpdf.exitCode(), 0) << qpdf.readAll().toStdString();
  });
  EXPECT_TRUE(shown);
  EXPECT_TRUE(errors_.shown.empty());
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");  // and no longer
}

TEST_F(QtPreviewerTest, PreparationErrorsReachTheErrorBoxAndShowReportFails) {
  Report report(ListTemplate("NoSuchField"));
  report.AddDataset({"DBDataset1", &rows_});
  const bool shown = Show(report, [&](PreviewWindow& window) {
    // The box came at the end of the preparation; the pages are shown all the same.
    ASSERT_EQ(errors_.shown.size(), 1u);
    EXPECT_NE(errors_.shown[0].find("Error|The following error(s) have occured:\n"),
              std::string::npos);
    EXPECT_NE(errors_.shown[0].find("NoSuchField"), std::string::npos);
    EXPECT_GT(window.page_count(), 0);
  });
  EXPECT_FALSE(shown);
}

TEST_F(QtPreviewerTest, OpeningAFileThatIsNotAReportShowsTheErrorBox) {
  Report report(ListTemplate("Line1"));
  report.AddDataset({"DBDataset1", &rows_});
  Show(report, [&](PreviewWindow& window) {
    EXPECT_FALSE(window.OpenFrom(dir_.path() + "/missing.nvkp"));
    ASSERT_EQ(errors_.shown.size(), 1u);
    EXPECT_EQ(errors_.shown[0].rfind("Error|The following error(s) have occured:\n", 0), 0u);
  });
}

}  // namespace
}  // namespace re
