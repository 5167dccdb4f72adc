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
struct ShapedLine {
  int font = 0;          // index into PreparedReport::fonts
  float size_pt = 10;
  std::string text;      // UTF-8 source text of the line
  std::vector<Glyph> glyphs;
  float width = 0;       // advance width of the whole line, mm
  friend bool operator==(const ShapedLine&, const ShapedLine&) = default;
};

}  // namespace re

#endif  // REPORTENGINE_TEXT_SHAPED_LINE_H_
