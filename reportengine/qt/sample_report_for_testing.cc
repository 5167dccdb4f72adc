#include "reportengine/qt/sample_report_for_testing.h"

#include <memory>
#include <vector>

#include "reportengine/text/text_shaper.h"

namespace re::testing {
namespace {

TextItem Text(TextShaper& shaper, const FontSpec& font, const std::string& text, float x,
              float top, float width, float height) {
  TextItem item;
  item.line = shaper.Shape(font, text);
  const FontMetrics metrics = shaper.Metrics(font);
  item.x = x + 0.5f;
  item.y = top + 0.3f + metrics.ascent_mm;
  item.clip = {x, top, width, height};
  return item;
}

// A text object whose text the layout wrapped into `lines`: one item per line, all in one box.
void AddWrapped(TextShaper& shaper, const FontSpec& font, const std::vector<std::string>& lines,
                float x, float top, float width, float height, PreparedPage& page) {
  const FontMetrics metrics = shaper.Metrics(font);
  for (size_t l = 0; l < lines.size(); ++l) {
    TextItem item = Text(shaper, font, lines[l], x, top, width, height);
    item.y += static_cast<float>(l) * metrics.line_height_mm;
    page.items.push_back(item);
  }
}

}  // namespace

PreparedReport SampleReport(std::string* error) {
  TextShaper shaper;
  const FontSpec gothic{"ＭＳ ゴシック", 10};
  const FontSpec pgothic{"ＭＳ Ｐゴシック", 16};
  const FontSpec arial{"Arial", 9};
  for (const FontSpec& spec : {gothic, pgothic, arial}) {
    if (!shaper.Resolve(spec, error)) return {};
  }
  const std::vector<std::vector<std::string>> rows_per_page = {
      {"Sample row one 123-456", "山田　太郎　様", "東京都千代田区 1-1"},
      {"保険者番号 06130014", "点数 1,234", "レセプト 2 件目"},
      {"SAMPLE upper case", "最後のページ", "ｶﾅ 半角"},
  };
  PreparedReport report;
  for (size_t p = 0; p < rows_per_page.size(); ++p) {
    PreparedPage page;  // A4 portrait
    page.items.push_back(RectItem{{10, 10, 190, 12}, Color{230, 236, 250}, Color{0, 0, 0}, 0.53f});
    page.items.push_back(
        Text(shaper, pgothic, "平成２７年１０月社保 チェック結果一覧", 12, 11, 186, 10));
    float top = 30;
    for (const std::string& row : rows_per_page[p]) {
      page.items.push_back(Text(shaper, gothic, row, 12, top, 120, 6));
      page.items.push_back(LineItem{10, top + 6.5f, 200, top + 6.5f, 0.26f, Color{0, 0, 0},
                                    LineStyle::kSolid});
      top += 8;
    }
    page.items.push_back(
        LineItem{10, top + 2, 200, top + 2, 0.53f, Color{200, 0, 0}, LineStyle::kDot});
    // A cell too narrow for its text: the rest is cut off at the clip box.
    page.items.push_back(Text(shaper, arial, "Clipped cell text that does not fit", 12, top + 6,
                              30, 5));
    page.items.push_back(RectItem{{12, top + 6, 30, 5}, std::nullopt, Color{0, 0, 255}, 0.26f});
    if (p == 1) {
      // A value wrapped inside its cell, both lines shown; and one whose second line lies
      // below its cell (cut off), with the next row's cell right under it.
      AddWrapped(shaper, gothic, {"項番・区分・診療行為", "名称等"}, 12, top + 14, 46, 9, page);
      AddWrapped(shaper, gothic, {"患者9989 次", "郎"}, 12, top + 24, 24, 4.2f, page);
      page.items.push_back(Text(shaper, gothic, "次の行", 12, top + 28.2f, 24, 5));
    }
    page.items.push_back(Text(shaper, arial, "Page " + std::to_string(p + 1), 180, 280, 20, 5));
    report.pages.push_back(std::move(page));
  }
  report.fonts = shaper.fonts();
  return report;
}

}  // namespace re::testing
