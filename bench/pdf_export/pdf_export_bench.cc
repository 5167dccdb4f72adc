// Exports lists shaped like the eleven-column patient list (A4 portrait, 44 rows of 6 mm, a page
// header with title, date, time and column headings under a rule, a page number at the foot)
// and prints what the PDF writer costs: pages per second, content bytes per page without the
// font programs, the embedded font bytes, and peak memory.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "reportengine/pdf/pdf_exporter.h"
#include "reportengine/pdf/pdf_test_fixture.h"

namespace {

using re::pdf::testing::ReportBuilder;

constexpr int kRowsPerPage = 44;
constexpr float kMarginMm = 5.0f;
constexpr float kHeaderMm = 15.0f;
constexpr float kRowMm = 6.0f;

const char* const kSurnames[] = {"佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村",
                                 "小林", "加藤", "吉田", "山田", "佐々木", "山口", "松本", "井上",
                                 "木村", "林", "斎藤", "清水", "山崎", "森", "池田", "橋本"};
const char* const kGivenNames[] = {"太郎", "花子", "一郎", "美咲", "健太", "陽子", "翔",
                                   "由美", "大輔", "恵子", "誠", "直美", "和也", "裕子"};
const char* const kConditions[] = {"併用禁忌", "適応外", "用量過多", "重複投与", "病名漏れ",
                                   "算定要件", "年齢制限"};
const char* const kDiseases[] = {
    "高血圧症", "２型糖尿病", "脂質異常症", "急性上気道炎", "アレルギー性鼻炎", "気管支喘息",
    "逆流性食道炎", "慢性胃炎", "変形性膝関節症", "骨粗鬆症", "不眠症", "アムロジピン錠５ｍｇ",
    "ロキソプロフェンナトリウム錠６０ｍｇ", "メトホルミン塩酸塩錠２５０ｍｇ", "腰痛症",
    "慢性心不全", "狭心症", "頭痛", "便秘症", "湿疹", "白内障", "緑内障", "花粉症",
    "レバミピド錠１００ｍｇ", "ファモチジン錠２０ｍｇ（後発品）"};
const char* const kOutcomes[] = {"", "治ゆ", "中止", "死亡", "転医"};

struct Figures {
  int pages = 0;
  double seconds = 0;      // wall clock
  double cpu_seconds = 0;  // this process's CPU time, unaffected by other load on the machine
  uintmax_t file_bytes = 0;
  uintmax_t font_bytes = 0;
  long rss_before_kb = 0, rss_after_kb = 0;
};

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Builds the list; every distinct text is shaped once and shared, as the engine does.
re::PreparedReport BuildList(int rows) {
  ReportBuilder builder;
  const int gothic = builder.AddFont("ＭＳ Ｐゴシック", re::pdf::testing::kPGothicFile);
  const int arial = builder.AddFont("Arial", re::pdf::testing::kArialFile);
  std::map<std::pair<int, std::string>, std::shared_ptr<const re::ShapedLine>> shaped;
  auto shape = [&](int font, float size, const std::string& text) {
    auto& line = shaped[{font * 100 + static_cast<int>(size), text}];
    if (!line) line = builder.Shape(font, size, text);
    return line;
  };
  auto put = [&](re::PreparedPage& page, int font, float size, float x, float top, float w,
                 float h, const std::string& text) {
    if (text.empty()) return;
    re::TextItem item;
    item.line = shape(font, size, text);
    item.x = kMarginMm + x + 0.5f;
    item.y = top + 0.3f + size * 0.3528f * 0.88f;
    item.clip = {kMarginMm + x, top, w, h};
    page.items.push_back(item);
  };
  std::mt19937 random(12345);
  auto pick = [&](const auto& list) { return list[random() % std::size(list)]; };
  const int pages = (rows + kRowsPerPage - 1) / kRowsPerPage;
  int row = 0;
  for (int p = 1; p <= pages; ++p) {
    re::PreparedPage& page = builder.NewPage();
    const float top = kMarginMm;
    put(page, gothic, 18, 49, top, 104, 7, "令和８年１２月診療分 点検結果");
    put(page, arial, 9, 154, top, 21, 5, "2026/12/10");
    put(page, arial, 9, 177, top, 25, 5, "15:04:05");
    const struct { float x, w; const char* text; } headings[] = {
        {0.5f, 16, "カルテ番号"}, {21.9f, 16, "患者氏名"}, {44, 9, "条件"}, {59.5f, 4, "再"},
        {65.5f, 5, "特"}, {78.9f, 24, "傷病（薬品）名"}, {142.9f, 28, "診療(処方)開始日"},
        {176.3f, 8, "転帰"}, {186.9f, 12, "転帰日"}};
    for (const auto& h : headings) put(page, gothic, 10, h.x, top + 8.5f, h.w, 4, h.text);
    page.items.push_back(re::LineItem{kMarginMm, top + 14, kMarginMm + 200, top + 14, 0.26f,
                                      {}, re::LineStyle::kSolid});
    for (int r = 0; r < kRowsPerPage && row < rows; ++r, ++row) {
      const float y = top + kHeaderMm + r * kRowMm;
      put(page, gothic, 10, 0.5f, y, 17, 4, std::to_string(100000 + row * 7 % 90000));
      put(page, gothic, 10, 21.9f, y, 21, 4, std::string(pick(kSurnames)) + " " + pick(kGivenNames));
      put(page, gothic, 10, 42.9f, y, 14, 4, pick(kConditions));
      put(page, gothic, 10, 58.5f, y, 5, 5, random() % 3 == 0 ? "○" : "");
      put(page, gothic, 10, 64.7f, y, 4, 5, random() % 5 == 0 ? "◎" : "");
      put(page, gothic, 10, 70.7f, y, 5, 5, random() % 7 == 0 ? "＊" : "");
      put(page, gothic, 10, 78, y, 64, 5, pick(kDiseases));
      char date[16];
      std::snprintf(date, sizeof date, "R%02d.%02d.%02d", 1 + static_cast<int>(random() % 8),
                    1 + static_cast<int>(random() % 12), 1 + static_cast<int>(random() % 28));
      put(page, gothic, 10, 142.9f, y, 25, 5, date);
      put(page, gothic, 10, 168, y, 6, 5, random() % 4 == 0 ? "主" : "");
      const char* outcome = pick(kOutcomes);
      put(page, gothic, 10, 175.7f, y, 9, 5, outcome);
      if (*outcome != '\0') put(page, gothic, 10, 185.2f, y, 14, 5, date);
    }
    put(page, arial, 10, 86, 297 - kMarginMm - 6, 25, 5, std::to_string(p));
  }
  return builder.report();
}

Figures Run(int rows, const std::string& file) {
  Figures figures;
  const re::PreparedReport report = BuildList(rows);
  figures.pages = static_cast<int>(report.pages.size());
  figures.rss_before_kb = PeakRssKb();
  re::PdfExporter exporter;
  exporter.FileName = file;
  std::vector<std::string> errors;
  timespec cpu_start{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu_start);
  const auto start = std::chrono::steady_clock::now();
  if (!exporter.Export(report, nullptr, &errors)) {
    std::fprintf(stderr, "export failed: %s\n", errors.front().c_str());
    std::exit(1);
  }
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timespec cpu_end{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu_end);
  figures.cpu_seconds = static_cast<double>(cpu_end.tv_sec - cpu_start.tv_sec) +
                        (cpu_end.tv_nsec - cpu_start.tv_nsec) / 1e9;
  figures.rss_after_kb = PeakRssKb();
  figures.file_bytes = std::filesystem::file_size(file);
  // Font programs are the streams that carry /Length1.
  const std::string content = re::pdf::testing::ReadFile(file);
  const std::regex font_stream(R"(/Length1 \d+/Filter/FlateDecode/Length (\d+))");
  for (std::sregex_iterator it(content.begin(), content.end(), font_stream), end; it != end; ++it) {
    figures.font_bytes += std::stoull((*it)[1]);
  }
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
  std::printf("%-7s %6s %8s %8s %12s %15s %11s %14s %16s\n", "rows", "pages", "seconds",
              "pages/s", "pages/CPU-s", "content B/page", "font bytes", "peak RSS (MB)",
              "export +RSS (MB)");
  for (const int rows : {10'000, 100'000}) {
    const std::string file = dir + "/pdf_export_bench_" + std::to_string(rows) + ".pdf";
    const Figures f = Run(rows, file);
    std::printf("%-7d %6d %8.3f %8.0f %12.0f %15.0f %11ju %14.1f %16.1f\n", rows, f.pages,
                f.seconds, f.pages / f.seconds, f.pages / f.cpu_seconds,
                static_cast<double>(f.file_bytes - f.font_bytes) / f.pages, f.font_bytes,
                f.rss_after_kb / 1024.0, (f.rss_after_kb - f.rss_before_kb) / 1024.0);
    if (std::getenv("PDF_BENCH_KEEP") == nullptr) std::filesystem::remove(file);
  }
  std::printf("goals: >= 1000 pages/s, <= 4096 content bytes/page, <= 153600 font bytes\n");
  return 0;
}
