// The report operations: finding and setting text, the error list and box, the system values,
// export and preview through their interfaces.
#include "reportengine/layout/report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "reportengine/model/layout_memory_rows.h"

namespace re {
namespace {

using ::testing::ElementsAre;

struct FakeErrorBox : ErrorReporter {
  void ShowError(const std::string& caption, const std::string& text) override {
    shown.push_back({caption, text});
  }
  std::vector<std::pair<std::string, std::string>> shown;
};

Template Sample() {
  return Template{
      .name = "Report1",
      .page = {.margins = {5, 5, 5, 5}},
      .datasets = {"DBDataset1"},
      .bands = {
          {.name = "PageHeader1", .kind = BandKind::kPageHeader, .height = 8,
           .objects = {TextObject{.name = "SysMemo1", .rect = {153, 0, 21, 5}, .text = "[DATE]",
                                  .font = {"Arial", 9}},
                       TextObject{.name = "SysMemo2", .rect = {177, 0, 25, 5}, .text = "[TIME]",
                                  .font = {"Arial", 9}},
                       TextObject{.name = "Memo1", .rect = {67, 0.5f, 59, 7},
                                  .text = "平成２７年１０月社保", .font = {"ＭＳ Ｐゴシック", 18}}}},
          {.name = "MasterData1", .kind = BandKind::kMasterData, .height = 4,
           .dataset = "DBDataset1",
           .objects = {TextObject{.name = "DBDataset1Line1", .rect = {1, 0, 21, 4},
                                  .text = "[DBDataset1.\"line1\"]",
                                  .font = {"ＭＳ Ｐゴシック", 9}, .auto_width = true}}},
          {.name = "PageFooter1", .kind = BandKind::kPageFooter, .height = 6,
           .objects = {TextObject{.name = "SysMemo3", .rect = {86, 0, 25, 5}, .text = "[PAGE#]",
                                  .align = HAlign::kCenter}}},
      }};
}

std::vector<std::string> PageTexts(const PreparedPage& page) {
  std::vector<std::string> out;
  for (const PageItem& item : page.items) {
    if (const auto* t = std::get_if<TextItem>(&item)) out.push_back(t->line->text);
  }
  return out;
}

std::vector<std::vector<std::string>> Rows(int n) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < n; ++i) rows.push_back({std::to_string(i)});
  return rows;
}

TEST(ReportTest, FindObjectReturnsTextObjectsOnly) {
  Template t = Sample();
  t.bands[0].objects.push_back(LineObject{.name = "Line1", .width = 200});
  Report report(std::move(t));
  ASSERT_NE(report.FindObject("Memo1"), nullptr);
  EXPECT_EQ(report.FindObject("Memo1")->text, "平成２７年１０月社保");
  EXPECT_EQ(report.FindObject("DBDataset1Line1")->name, "DBDataset1Line1");
  EXPECT_EQ(report.FindObject("Line1"), nullptr);
  EXPECT_EQ(report.FindObject("Memo9"), nullptr);
}

TEST(ReportTest, CaptionReplacesTheSampleAndItsBracketsAreEvaluated) {
  MemoryRows rows({"Line1"}, {});
  Report report(Sample());
  report.AddDataset({"DBDataset1", &rows});
  report.set_clock([] { return common::LocalDateTime{2024, 5, 1, 9, 30, 5, 0}; });
  report.FindObject("Memo1")->SetText("令和[DATE]");
  ASSERT_TRUE(report.PrepareReport(true));
  EXPECT_THAT(PageTexts(report.prepared().pages[0]),
              ElementsAre("2024/05/01", "9:30:05", "令和2024/05/01", "1"));
  // A line break in the caption starts a new line (the second one lies below the 7 mm cell).
  report.FindObject("Memo1")->SetText("国保\n社保");
  report.FindObject("Memo1")->rect.height = 20;
  ASSERT_TRUE(report.PrepareReport(true));
  EXPECT_THAT(PageTexts(report.prepared().pages[0]),
              ElementsAre("2024/05/01", "9:30:05", "国保", "社保", "1"));
}

TEST(ReportTest, DateAndTimeAreTakenOnceForAllPages) {
  MemoryRows rows({"Line1"}, Rows(68 * 3));
  Report report(Sample());
  report.AddDataset({"DBDataset1", &rows});
  int calls = 0;
  // Every reading of the clock is a second later, as on a slow preparation.
  report.set_clock([&calls] {
    ++calls;
    return common::LocalDateTime{2024, 12, 31, 23, 59, 58 + calls, 0};
  });
  ASSERT_TRUE(report.PrepareReport(true));
  ASSERT_EQ(report.prepared().pages.size(), 3u);
  for (const PreparedPage& page : report.prepared().pages) {
    const std::vector<std::string> texts = PageTexts(page);
    EXPECT_EQ(texts[0], "2024/12/31");
    EXPECT_EQ(texts[1], "23:59:59");
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(PageTexts(report.prepared().pages[2]).back(), "3");
}

TEST(ReportTest, ErrorsAreCollectedSortedOnceAndShownInOneBox) {
  Template t = Sample();
  auto& objects = t.bands[1].objects;
  objects.push_back(TextObject{.name = "Cell9", .rect = {50, 0, 10, 4},
                               .text = "[DBDataset1.\"Line9\"]"});
  objects.push_back(TextObject{.name = "Cell9b", .rect = {60, 0, 10, 4},
                               .text = "x[DBDataset1.\"Line9\"]y[DBDataset1.\"Line9\"]"});
  objects.push_back(TextObject{.name = "Other", .rect = {70, 0, 10, 4},
                               .text = "[DBDataset7.\"Line1\"]"});
  objects.push_back(TextObject{.name = "Sum", .rect = {80, 0, 10, 4}, .text = "[SUM(1)]"});
  MemoryRows rows({"Line1"}, Rows(3));
  Report report(std::move(t));
  report.AddDataset({"DBDataset1", &rows});
  FakeErrorBox box;
  report.set_error_reporter(&box);

  EXPECT_FALSE(report.PrepareReport(true));
  EXPECT_THAT(report.errors(),
              ElementsAre("Dataset not found: Other: DBDataset7",
                          "Field not found: Cell9: DBDataset1.\"Line9\"",
                          "Field not found: Cell9b: DBDataset1.\"Line9\"",
                          "Unknown expression: Sum: [SUM(1)]"));
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].first, "Error");
  EXPECT_EQ(box.shown[0].second,
            "The following error(s) have occured:\n"
            "Dataset not found: Other: DBDataset7\n"
            "Field not found: Cell9: DBDataset1.\"Line9\"\n"
            "Field not found: Cell9b: DBDataset1.\"Line9\"\n"
            "Unknown expression: Sum: [SUM(1)]");
  // The pages are built all the same, the missing values empty.
  ASSERT_EQ(report.prepared().pages.size(), 1u);
  EXPECT_THAT(PageTexts(report.prepared().pages[0]),
              ElementsAre(::testing::_, ::testing::_, "平成２７年１０月社保", "0", "xy", "1",
                          "xy", "2", "xy", "1"));
}

TEST(ReportTest, RowSourceThatCannotBeOpenedAndMissingFontAreReported) {
  MemoryRows rows({"Line1"}, Rows(2));
  rows.FailOpen("[Microsoft][ODBC] Could not find file 'Data.Rpt'.");
  Template t = Sample();
  std::get<TextObject>(t.bands[0].objects[2]).font.name = "No Such Face";
  Report report(std::move(t));
  report.AddDataset({"DBDataset1", &rows});
  FakeErrorBox box;
  report.set_error_reporter(&box);
  EXPECT_FALSE(report.PrepareReport(true));
  ASSERT_EQ(report.errors().size(), 2u);
  EXPECT_EQ(report.errors()[0], "Font not found: No Such Face");
  EXPECT_EQ(report.errors()[1], "[Microsoft][ODBC] Could not find file 'Data.Rpt'.");
  ASSERT_EQ(report.prepared().pages.size(), 1u) << "one page with header and footer";
  EXPECT_EQ(box.shown.size(), 1u);

  // No binding registered at all.
  Report unbound(Sample());
  EXPECT_FALSE(unbound.PrepareReport(true));
  EXPECT_THAT(unbound.errors(), ElementsAre("Dataset not found: DBDataset1"));
}

TEST(ReportTest, PrepareWithoutClearAddsPagesAndNumbersOn) {
  MemoryRows rows({"Line1"}, Rows(70));
  Report report(Sample());
  report.AddDataset({"DBDataset1", &rows});
  ASSERT_TRUE(report.PrepareReport(true));
  ASSERT_TRUE(report.PrepareReport(false));
  ASSERT_EQ(report.prepared().pages.size(), 4u);
  EXPECT_EQ(PageTexts(report.prepared().pages[3]).back(), "4");
  ASSERT_TRUE(report.PrepareReport(true));
  EXPECT_EQ(report.prepared().pages.size(), 2u);
  EXPECT_EQ(rows.open_calls(), 1) << "the row source is opened on first use only";
}

struct FakeExporter : Exporter {
  bool Export(const PreparedReport& report, ExportProgress*,
              std::vector<std::string>* errors) override {
    pages = report.pages.size();
    if (!fail_with.empty()) errors->push_back(fail_with);
    return fail_with.empty();
  }
  size_t pages = 0;
  std::string fail_with;
};

TEST(ReportTest, ExportGoesThroughTheExporterAndReportsItsFailure) {
  MemoryRows rows({"Line1"}, Rows(69));
  Report report(Sample());
  report.AddDataset({"DBDataset1", &rows});
  FakeErrorBox box;
  report.set_error_reporter(&box);
  FakeExporter exporter;
  EXPECT_TRUE(report.Export(exporter)) << "prepares first when nothing is prepared";
  EXPECT_EQ(exporter.pages, 2u);
  EXPECT_TRUE(box.shown.empty());

  exporter.fail_with = "Cannot create file /locked/RepChk.pdf";
  EXPECT_FALSE(report.Export(exporter));
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].second,
            "The following error(s) have occured:\nCannot create file /locked/RepChk.pdf");
}

struct FakeStreamExporter : PageStreamExporter {
  bool Export(const PreparedReport&, ExportProgress*, std::vector<std::string>*) override { return false; }
  bool Begin(const std::vector<FontFace>& table, std::vector<std::string>*) override {
    for (const FontFace& face : table) fonts.push_back(face.name);
    return true;
  }
  void LoadFonts() override { fonts_loaded_before_first_page = pages == 0; }
  void Foresee(const ShapedLine& line) override {
    foreseen.push_back(line.text);
    if (pages > 0) foreseen_after_a_page = true;
  }
  bool AddPage(const PreparedPage& page) override {
    ++pages;
    if (pages <= 2) {
      for (const PageItem& item : page.items) {
        if (const auto* text = std::get_if<TextItem>(&item)) first_pages_texts.insert(text->line->text);
      }
    }
    return true;
  }
  std::vector<std::string> fonts;
  std::vector<std::string> foreseen;
  std::set<std::string> first_pages_texts;  // of pages 1 and 2
  bool foreseen_after_a_page = false;
  bool fonts_loaded_before_first_page = false;
  bool Finish(std::vector<std::string>*) override { return finished = true; }
  void Abandon() override { abandoned = true; }
  int pages = 0;
  bool finished = false, abandoned = false;
};

TEST(ReportTest, RowsThatBreakOffFailThePreparationAndAbandonTheStreamedExport) {
  MemoryRows rows({"Line1"}, Rows(200));
  rows.FailAfter(100, "Unrecognized database format '/data/Data.Rpt'.");
  Report report(Sample());
  report.AddDataset({"DBDataset1", &rows});
  FakeErrorBox box;
  report.set_error_reporter(&box);
  FakeStreamExporter exporter;
  EXPECT_FALSE(report.PrepareAndExport(exporter));
  EXPECT_GT(exporter.pages, 0) << "pages went out before the break";
  EXPECT_TRUE(exporter.abandoned);
  EXPECT_FALSE(exporter.finished);
  EXPECT_THAT(report.errors(), ElementsAre("Unrecognized database format '/data/Data.Rpt'."));
  EXPECT_EQ(box.shown.size(), 1u);
  EXPECT_FALSE(report.PrepareReport(true)) << "the whole-report path fails alike";
}

TEST(ReportTest, TheWriterForeseesOnlyTextsOfTheFirstPageAndOnlyBeforeItArrives) {
  MemoryRows rows({"Line1"}, Rows(200));
  Report report(Sample());
  report.AddDataset({"DBDataset1", &rows});
  for (int run = 0; run < 20; ++run) {  // the writer sees hints and pages in varying order
    FakeStreamExporter exporter;
    ASSERT_TRUE(report.PrepareAndExport(exporter));
    ASSERT_GT(exporter.pages, 2);
    EXPECT_FALSE(exporter.foreseen_after_a_page);
    for (const std::string& text : exporter.foreseen) {
      // A band told of on page 1 may still have moved to page 2.
      EXPECT_TRUE(exporter.first_pages_texts.contains(text)) << text;
    }
  }
}

TEST(ReportTest, FacesLookedUpAheadAreTakenOverAndFacesChangedSinceAreLookedUpToo) {
  MemoryRows rows({"Line1"}, Rows(3));
  Report report(Sample());
  report.AddDataset({"DBDataset1", &rows});
  report.LookUpFontsAhead();
  report.FindObject("Memo1")->font.name = "ＭＳ 明朝";  // the ahead look-up may be running
  FakeStreamExporter exporter;
  ASSERT_TRUE(report.PrepareAndExport(exporter));
  EXPECT_THAT(exporter.fonts, ::testing::Contains("ＭＳ 明朝"));
  EXPECT_TRUE(exporter.fonts_loaded_before_first_page);

  Report missing(Sample());
  missing.AddDataset({"DBDataset1", &rows});
  missing.LookUpFontsAhead();
  missing.FindObject("Memo1")->font.name = "No Such Face";
  FakeStreamExporter abandoned;
  EXPECT_FALSE(missing.PrepareAndExport(abandoned));
  EXPECT_THAT(missing.errors(), ElementsAre("Font not found: No Such Face"));
  EXPECT_TRUE(abandoned.abandoned);

  // The export begins while the rows open; rows that cannot be opened abandon it.
  MemoryRows unreadable({"Line1"}, Rows(3));
  unreadable.FailOpen("[Microsoft][ODBC] Could not find file 'Data.Rpt'.");
  Report closed(Sample());
  closed.AddDataset({"DBDataset1", &unreadable});
  closed.LookUpFontsAhead();
  FakeStreamExporter begun;
  EXPECT_FALSE(closed.PrepareAndExport(begun));
  EXPECT_THAT(closed.errors(), ElementsAre("[Microsoft][ODBC] Could not find file 'Data.Rpt'."));
  EXPECT_TRUE(begun.abandoned);
  EXPECT_FALSE(begun.finished);
}

struct FakePreview : Previewer {
  bool Show(Report& report) override {
    pages_when_opened = report.prepared().pages.size();
    const bool prepared = report.PrepareReport(true);
    pages_shown = report.prepared().pages.size();
    return prepared;
  }
  size_t pages_when_opened = 99;
  size_t pages_shown = 0;
};

TEST(ReportTest, ShowReportOpensThePreviewWhichPrepares) {
  MemoryRows rows({"Line1"}, Rows(1));
  Report report(Sample());
  report.AddDataset({"DBDataset1", &rows});
  ASSERT_TRUE(report.PrepareReport(true));
  FakeErrorBox box;
  report.set_error_reporter(&box);
  EXPECT_FALSE(report.ShowReport(true));
  EXPECT_THAT(box.shown, ::testing::SizeIs(1));

  FakePreview preview;
  report.set_previewer(&preview);
  EXPECT_TRUE(report.ShowReport(true));
  EXPECT_EQ(preview.pages_when_opened, 0u) << "earlier pages are discarded first";
  EXPECT_EQ(preview.pages_shown, 1u);
}

}  // namespace
}  // namespace re
