// Prepared pages: what a report looks like after preparation, independent of any device.
// The PDF writer and the Qt preview/printer both draw from this model, with the same fonts and
// the same glyph positions. All lengths are millimetres from the page's top-left corner, y down.
#ifndef REPORTENGINE_LAYOUT_PREPARED_PAGE_H_
#define REPORTENGINE_LAYOUT_PREPARED_PAGE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "reportengine/model/geometry.h"
#include "reportengine/text/shaped_line.h"

namespace re {

struct TextItem {
  std::shared_ptr<const ShapedLine> line;
  float x = 0, y = 0;    // origin of the line on its baseline
  Color color;
  RectMm clip;           // the text object's box: nothing outside it is drawn
};

struct LineItem {
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  float width = 0.26f;   // stroke width
  Color color;
  LineStyle style = LineStyle::kSolid;
};

struct RectItem {
  RectMm rect;
  std::optional<Color> fill;
  std::optional<Color> outline;
  float outline_width = 0.26f;
};

using PageItem = std::variant<TextItem, LineItem, RectItem>;

struct PreparedPage {
  float width = 210, height = 297;
  std::vector<PageItem> items;  // in drawing order: later items over earlier ones
};

struct PreparedReport {
  std::vector<FontFace> fonts;
  std::vector<PreparedPage> pages;
};

}  // namespace re

#endif  // REPORTENGINE_LAYOUT_PREPARED_PAGE_H_
