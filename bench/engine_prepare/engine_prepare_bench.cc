// Preparation speed and memory of the report engine on a long patient list: eleven columns,
// a 15 mm page header with headings and a rule, 6 mm rows, the chart-number size rule per row.
// Usage: engine_prepare_bench [rows]   (default 100000)
// Prints rows, pages, seconds, pages/s and the process's peak resident memory; then the same
// preparation page by page as an export runs it (each page handed to a second thread, which
// here drops it), with the preparing thread's own CPU time.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "reportengine/model/layout_memory_rows.h"
#include "reportengine/layout/report.h"
#ifdef WITH_KAVEL_TEMPLATES
#include "kavel/templates/templates.h"
#endif

namespace {

#ifndef WITH_KAVEL_TEMPLATES
re::TextObject Cell(const char* name, float left, float top, float width, float height,
                    std::string text, int size, re::HAlign align = re::HAlign::kLeft,
                    bool auto_width = false) {
  return re::TextObject{.name = name,
                        .rect = {left, top, width, height},
                        .text = std::move(text),
                        .font = {"ＭＳ Ｐゴシック", size},
                        .charset = re::Charset::kShiftJis,
                        .align = align,
                        .auto_width = auto_width};
}

std::string Field(const char* name) { return std::string("[DBDataset3.\"") + name + "\"]"; }

re::Template PatientList() {
  using re::HAlign;
  return re::Template{
      .name = "Report3",
      .page = {.margins = {5, 5, 5, 5}},
      .datasets = {"DBDataset3"},
      .bands = {
          {.name = "PageHeader1",
           .kind = re::BandKind::kPageHeader,
           .height = 15.0f,
           .objects = {Cell("Memo1", 49, 0, 104, 7, "令和６年５月社保", 18),
                       re::TextObject{.name = "SysMemo1", .rect = {154, 0, 21, 5},
                                      .text = "[DATE]", .font = {"Arial", 9}},
                       re::TextObject{.name = "SysMemo2", .rect = {177, 0, 25, 5},
                                      .text = "[TIME]", .font = {"Arial", 9}},
                       Cell("Memo2", 0.5f, 8.5f, 16, 4, "カルテ番号", 9),
                       Cell("Memo3", 21.9f, 8.5f, 16, 4, "患者氏名", 10),
                       Cell("Memo4", 44, 8.6f, 9, 4, "条件", 10),
                       Cell("Memo6", 59.5f, 8.6f, 4, 4, "再", 10),
                       Cell("Memo5", 65.5f, 8.5f, 5, 4, "特", 10),
                       Cell("Memo7", 78.9f, 8.5f, 24, 4, "傷病（薬品）名", 10),
                       Cell("Memo9", 142.9f, 8.6f, 28, 4, "診療(処方)開始日", 10),
                       Cell("Memo8", 176.3f, 8.5f, 8, 4, "転帰", 10),
                       Cell("Memo10", 186.9f, 8.5f, 12, 4, "転帰日", 10),
                       re::LineObject{.name = "Line1", .top = 14.0f, .width = 200}}},
          {.name = "MasterData1",
           .kind = re::BandKind::kMasterData,
           .height = 6.0f,
           .dataset = "DBDataset3",
           .objects = {Cell("DBDataset3Line1", 0.5f, 0, 17, 4, Field("Line1"), 10,
                            HAlign::kLeft, true),
                       Cell("DBDataset3Line2", 21.9f, 0, 21, 4, Field("Line2"), 10),
                       Cell("DBDataset3Line3", 42.9f, 0, 14, 4, Field("Line3"), 10),
                       Cell("DBDataset3Line7", 58.5f, 0, 5, 5, Field("Line7"), 10,
                            HAlign::kCenter),
                       Cell("DBDataset3Line8", 64.7f, 0, 4, 5, Field("Line8"), 10,
                            HAlign::kCenter),
                       Cell("DBDataset3Line6", 70.7f, 0, 5, 5, Field("Line6"), 10,
                            HAlign::kCenter),
                       Cell("DBDataset3Line4", 78, 0, 64, 5, Field("Line4"), 10,
                            HAlign::kLeft, true),
                       Cell("DBDataset3Line5", 142.9f, 0, 25, 5, Field("Line5"), 10),
                       Cell("DBDataset3Line9", 168, 0, 6, 5, Field("Line9"), 10,
                            HAlign::kCenter),
                       Cell("DBDataset3Line11", 175.7f, 0, 9, 5, Field("Line11"), 10,
                            HAlign::kCenter),
                       Cell("DBDataset3Line10", 185.2f, 0, 14, 5, Field("Line10"), 10)}},
          {.name = "PageFooter1",
           .kind = re::BandKind::kPageFooter,
           .height = 6.0f,
           .objects = {re::TextObject{.name = "SysMemo3", .rect = {86, 0, 25, 5},
                                      .text = "[PAGE#]", .align = re::HAlign::kCenter}}},
      }};
}

#endif  // !WITH_KAVEL_TEMPLATES

// Rows like a month's claims: unique chart numbers, names and diseases from realistic pools.
re::MemoryRows SyntheticRows(int count) {
  const char* family[] = {"佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村",
                          "小林", "加藤", "吉田", "山田", "佐々木", "山口", "松本", "井上"};
  const char* given[] = {"太郎", "花子", "一郎", "美咲", "健太", "陽子", "翔", "さくら",
                         "大輔", "由美", "誠", "恵"};
  const char* disease[] = {"高血圧症", "２型糖尿病", "脂質異常症", "急性上気道炎",
                           "アムロジピン錠５ｍｇ", "ロキソプロフェンナトリウム錠６０ｍｇ",
                           "慢性胃炎", "逆流性食道炎", "気管支喘息", "アレルギー性鼻炎",
                           "腰痛症", "変形性膝関節症", "不眠症", "便秘症"};
  const char* condition[] = {"主病", "疑い", "急性", "慢性", ""};
  const char* outcome[] = {"", "治癒", "中止", "死亡", "転医"};
  std::mt19937 random(20240501);
  std::vector<std::vector<std::string>> rows;
  rows.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const unsigned r = random();
    std::string chart = std::to_string(1000000 + i * 7);
    if (r % 5 == 0) chart = "A" + chart;  // some 8-character numbers at 7 pt
    std::vector<std::string> row(11);
    row[0] = chart;
    row[1] = std::string(family[r % 16]) + "　" + given[(r >> 4) % 12];
    row[2] = condition[(r >> 8) % 5];
    row[3] = disease[(r >> 11) % 14];
    row[4] = "R" + std::to_string(1 + (r >> 15) % 6) + "." + std::to_string(1 + (r >> 18) % 12) +
             "." + std::to_string(1 + (r >> 22) % 28);
    row[5] = (r >> 27) % 3 == 0 ? "○" : "";
    row[6] = (r >> 28) % 4 == 0 ? "再" : "";
    row[7] = (r >> 29) % 4 == 0 ? "特" : "";
    row[8] = (r >> 30) % 2 == 0 ? "1" : "";
    row[10] = outcome[(r >> 5) % 5];
    row[9] = row[10].empty() ? "" : "R6.5." + std::to_string(1 + (r >> 9) % 28);
    rows.push_back(std::move(row));
  }
  return re::MemoryRows({"Line1", "Line2", "Line3", "Line4", "Line5", "Line6", "Line7", "Line8",
                         "Line9", "Line10", "Line11"},
                        std::move(rows));
}

#ifndef WITH_KAVEL_TEMPLATES
size_t Utf16Length(std::string_view utf8) {
  size_t n = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if ((c & 0xC0) != 0x80) n += c >= 0xF0 ? 2 : 1;
  }
  return n;
}

#endif

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Takes the pages of a streamed preparation and keeps none.
class DroppingExporter : public re::PageStreamExporter {
 public:
  bool Export(const re::PreparedReport&, re::ExportProgress*, std::vector<std::string>*) override {
    return true;
  }
  bool Begin(const std::vector<re::FontFace>&, std::vector<std::string>*) override { return true; }
  bool AddPage(const re::PreparedPage&) override {
    ++pages;
    return true;
  }
  bool Finish(std::vector<std::string>*) override { return true; }
  void Abandon() override {}
  size_t pages = 0;
};

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rows_wanted = argc > 1 ? std::atoi(argv[1]) : 100000;
  re::MemoryRows rows = SyntheticRows(rows_wanted);
  const double rss_rows = PeakRssMb();

#ifdef WITH_KAVEL_TEMPLATES
  const char* layout = "Kavel's Report3";
  re::Report report(kavel::templates::Report3());
  report.set_row_rule(kavel::templates::ChartNumberRule);
#else
  const char* layout = "a copy of the patient-list layout";
  re::Report report(PatientList());
  report.set_row_rule([](const re::RowFields& row) -> re::RowOverrides {
    return {{.object = "DBDataset3Line1",
             .font_size_pt = Utf16Length(row.Value("Line1")) < 8 ? 10 : 7}};
  });
#endif
  report.AddDataset({"DBDataset3", &rows});
  if (re::TextObject* title = report.FindObject("Memo1")) title->SetText("令和６年５月社保");

  const double cpu_start = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const bool ok = report.PrepareReport(true);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpu_start;
  const size_t pages = report.prepared().pages.size();
  size_t items = 0;
  for (const re::PreparedPage& page : report.prepared().pages) items += page.items.size();

  std::printf("engine_prepare: %s, %d rows, %zu pages, %zu items, %s\n", layout, rows_wanted,
              pages, items, ok ? "no errors" : "ERRORS");
  for (const std::string& e : report.errors()) std::printf("  error: %s\n", e.c_str());
  std::printf("prepare: %.3f s, %.0f pages/s (goal >= 2000)\n", seconds,
              static_cast<double>(pages) / seconds);
  // On a shared machine the wall clock also counts other processes' turns.
  std::printf("prepare CPU time: %.3f s, %.0f pages per CPU second\n", cpu,
              static_cast<double>(pages) / cpu);
  std::printf("peak RSS: %.1f MB (rows alone %.1f MB; goal <= 300)\n", PeakRssMb(), rss_rows);

  DroppingExporter dropping;
  const double thread_cpu_start = ThreadCpuSeconds();
  const auto streamed_start = std::chrono::steady_clock::now();
  const bool streamed_ok = report.PrepareAndExport(dropping);
  const double streamed_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - streamed_start).count();
  const double thread_cpu = ThreadCpuSeconds() - thread_cpu_start;
  std::printf("page by page: %zu pages, %.3f s, preparing thread CPU %.3f s, %.0f pages per "
              "CPU second%s\n",
              dropping.pages, streamed_seconds, thread_cpu,
              static_cast<double>(dropping.pages) / thread_cpu, streamed_ok ? "" : ", ERRORS");
  return ok && streamed_ok ? 0 : 1;
}
