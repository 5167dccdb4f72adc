// Prints how fast the text shaper shapes new texts, finds texts it has shaped before and wraps
// cells, and what each cached line costs in memory: the figures behind preparing a 100,000-row
// list with eleven cells a row at thousands of pages a second.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "reportengine/text/text_shaper.h"

namespace {

using Clock = std::chrono::steady_clock;

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 10, '\n');
  }
  return 0;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// A cell text the way the patient list has them: distinct per row, Japanese and digits.
std::string CellText(int row, int column) {
  static const char* const kWords[] = {"高血圧症", "糖尿病", "アムロジピン錠５ｍｇ", "胃潰瘍",
                                       "ロキソプロフェン", "気管支炎", "山田", "太郎", "花子"};
  std::string s = kWords[(row * 7 + column) % 9];
  s += std::to_string(row);
  if (column % 3 == 0) s += kWords[(row + column) % 9];
  return s;
}

}  // namespace

int main() {
  constexpr int kRows = 100000;
  constexpr int kColumns = 11;
  re::TextShaper shaper;
  const re::FontSpec font{"ＭＳ Ｐゴシック", 10};
  if (!shaper.Resolve(font, nullptr)) {
    std::fprintf(stderr, "font not found\n");
    return 1;
  }

  std::vector<std::string> texts;
  texts.reserve(static_cast<size_t>(kRows) * kColumns);
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) texts.push_back(CellText(r, c));
  }

  const long rss_before = ResidentKb();
  auto start = Clock::now();
  for (const std::string& t : texts) shaper.Shape(font, t);
  const double shape_s = Seconds(start);
  const long rss_after = ResidentKb();
  const size_t lines = shaper.cached_lines();

  start = Clock::now();
  float sink = 0;
  for (const std::string& t : texts) sink += shaper.Width(font, t);
  const double hit_s = Seconds(start);

  start = Clock::now();
  size_t wrapped = 0;
  for (const std::string& t : texts) wrapped += shaper.ShapeLines(font, t, 14.0f, false).size();
  const double wrap_s = Seconds(start);

  const auto cells = static_cast<double>(texts.size());
  std::printf("distinct lines shaped: %zu\n", lines);
  std::printf("shape (cache miss):   %.0f cells/s\n", cells / shape_s);
  std::printf("lookup (cache hit):   %.0f cells/s\n", cells / hit_s);
  std::printf("wrap to 14 mm:        %.0f cells/s (%zu lines)\n", cells / wrap_s, wrapped);
  std::printf("memory per line:      %.0f bytes (%.1f MB for %zu lines)\n",
              (rss_after - rss_before) * 1024.0 / static_cast<double>(lines),
              (rss_after - rss_before) / 1024.0, lines);
  std::printf("(checksum %.1f)\n", static_cast<double>(sink));
  return 0;
}
