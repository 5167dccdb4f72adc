// Prepared pages: what a report looks like after preparation, independent of any device.
// The PDF writer and the Qt preview/printer both draw from this model, with the same fonts and
// the same glyph positions. All lengths are millimetres from the page's top-left corner, y down.
#ifndef REPORTENGINE_LAYOUT_PREPARED_PAGE_H_
#define REPORTENGINE_LAYOUT_PREPARED_PAGE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace re {

struct Color {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Color&, const Color&) = default;
};

struct RectMm {
  float left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const RectMm&, const RectMm&) = default;
};

// A font face used by a prepared report, resolved to an installed font file.
struct FontFace {
  std::string name;  // the face name the template uses, e.g. "ＭＳ ゴシック" or "Arial"
  std::string file;  // absolute path of the font file
  int index = 0;     // face index inside a font collection
  friend bool operator==(const FontFace&, const FontFace&) = default;
};

struct Glyph {
  uint32_t id = 0;       // glyph index in the face
  uint32_t cluster = 0;  // byte offset in ShapedLine::text of the first character it shows
  float x = 0;           // pen position relative to the line's origin, mm
  float y = 0;           // vertical offset, mm, positive downwards (0 for ordinary text)
  friend bool operator==(const Glyph&, const Glyph&) = default;
};

// One line of text shaped once; shared by every place that prints the same text in the same
// font and size.
struct ShapedLine {
  int font = 0;          // index into PreparedReport::fonts
  float size_pt = 10;
  std::string text;      // UTF-8 source text of the line
  std::vector<Glyph> glyphs;
  float width = 0;       // advance width of the whole line, mm
  friend bool operator==(const ShapedLine&, const ShapedLine&) = default;
};

struct TextItem {
  std::shared_ptr<const ShapedLine> line;
  float x = 0, y = 0;    // origin of the line on its baseline
  Color color;
  RectMm clip;           // the text object's box: nothing outside it is drawn
};

enum class LineStyle : uint8_t { kSolid, kDot };

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
