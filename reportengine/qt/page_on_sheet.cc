#include "reportengine/qt/page_on_sheet.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <variant>

namespace re {
namespace {

// Differences below these are rounding of the page settings dialog, not a change of paper.
constexpr float kSameScale = 1e-3f;
constexpr float kSameMm = 0.05f;

}  // namespace

Sheet SheetOfPage(const PreparedPage& page, const Margins& report_margins) {
  return {page.width, page.height, report_margins};
}

PreparedPage PageOnSheet(const PreparedPage& page, const Margins& m, const Sheet& sheet) {
  const float content_w = std::max(0.1f, page.width - m.left - m.right);
  const float content_h = std::max(0.1f, page.height - m.top - m.bottom);
  const float room_w = std::max(0.1f, sheet.width - sheet.margins.left - sheet.margins.right);
  const float room_h = std::max(0.1f, sheet.height - sheet.margins.top - sheet.margins.bottom);
  float s = std::min({1.0f, room_w / content_w, room_h / content_h});
  if (std::abs(s - 1) < kSameScale) s = 1;
  float dx = sheet.margins.left - m.left * s;
  float dy = sheet.margins.top - m.top * s;
  if (std::abs(dx) < kSameMm) dx = 0;
  if (std::abs(dy) < kSameMm) dy = 0;

  PreparedPage out;
  out.width = sheet.width;
  out.height = sheet.height;
  out.items.reserve(page.items.size());
  const auto x = [&](float v) { return dx + v * s; };
  const auto y = [&](float v) { return dy + v * s; };
  const auto rect = [&](const RectMm& r) {
    return RectMm{x(r.left), y(r.top), r.width * s, r.height * s};
  };
  for (const PageItem& item : page.items) {
    if (const auto* text = std::get_if<TextItem>(&item)) {
      TextItem t = *text;
      t.x = x(t.x);
      t.y = y(t.y);
      t.clip = rect(t.clip);
      if (s != 1 && t.line) {
        auto line = std::make_shared<ShapedLine>(*t.line);
        line->size_pt *= s;
        line->width *= s;
        for (Glyph& g : line->glyphs) {
          g.x *= s;
          g.y *= s;
        }
        t.line = std::move(line);
      }
      out.items.emplace_back(std::move(t));
    } else if (const auto* line = std::get_if<LineItem>(&item)) {
      LineItem l = *line;
      l.x1 = x(l.x1);
      l.x2 = x(l.x2);
      l.y1 = y(l.y1);
      l.y2 = y(l.y2);
      l.width *= s;
      out.items.emplace_back(l);
    } else {
      RectItem r = std::get<RectItem>(item);
      r.rect = rect(r.rect);
      r.outline_width *= s;
      out.items.emplace_back(r);
    }
  }
  return out;
}

}  // namespace re
