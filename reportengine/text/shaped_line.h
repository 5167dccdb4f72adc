// Shaped text: the font faces a report uses and lines of text shaped into positioned glyphs,
// as the text shaper makes them and the prepared pages hold them. Lengths are millimetres.
#ifndef REPORTENGINE_TEXT_SHAPED_LINE_H_
#define REPORTENGINE_TEXT_SHAPED_LINE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace re {

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
//
// A line may be narrowed: its glyphs drawn horizontally compressed by `scale` (a text that would
// otherwise be cut off at its box is squeezed into it). Glyph x positions and the width are then
// already the narrowed ones; renderers draw each glyph `scale` times as wide as the face gives it.
struct ShapedLine {
  int font = 0;          // index into PreparedReport::fonts
  float size_pt = 10;
  std::string text;      // UTF-8 source text of the line
  std::vector<Glyph> glyphs;
  float width = 0;       // advance width of the whole line, mm
  float scale = 1;       // horizontal scale of the glyphs, 1 for ordinary text
  friend bool operator==(const ShapedLine&, const ShapedLine&) = default;
};

// `line` with its glyphs narrowed to `scale` of their width (positions and width scaled too).
inline ShapedLine NarrowedLine(const ShapedLine& line, float scale) {
  ShapedLine narrowed = line;
  narrowed.scale = line.scale * scale;
  narrowed.width = line.width * scale;
  for (Glyph& g : narrowed.glyphs) g.x *= scale;
  return narrowed;
}

}  // namespace re

#endif  // REPORTENGINE_TEXT_SHAPED_LINE_H_
