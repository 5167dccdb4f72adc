// Text shaping for one report preparation: finds the fonts the templates name, gives their
// metrics as a Windows screen at 96 dpi would, shapes text into positioned glyphs and breaks text
// into lines.
//
// Everything is measured in millimetres, the same unit the prepared pages use. The width that
// Width() or WrapLines() measures for a text is exactly the advance of the glyphs that Shape()
// returns for it, so what the layout measures is what goes onto the page.
//
// Faces are named as the templates write them ("ＭＳ Ｐゴシック", "ＭＳ ゴシック", "ＭＳ Ｐ明朝",
// "ＭＳ 明朝", "Arial"). The Windows faces map to installed fonts of the same kind:
//   "ＭＳ Ｐゴシック" -> IPAPGothic    "ＭＳ ゴシック" -> IPAGothic
//   "ＭＳ Ｐ明朝"     -> IPAPMincho    "ＭＳ 明朝"     -> IPAMincho
//   "Arial"          -> Liberation Sans
// Any other name must be an installed family of exactly that name. A face that cannot be found
// is an error; no other font is ever put in its place.
//
// Sizes: a face of s pt is drawn with a character height (em) of round(s * 96 / 72) whole pixels
// (9 pt -> 12 px, 10 pt -> 13 px, 11 pt -> 15 px). The Japanese faces have, like the Windows
// faces they stand for, no internal leading: ascent + descent equals the character height.
// Arial keeps its own ascent and descent (taller than the character height), as on Windows.
// Lines follow each other at that cell height plus 2 px.
//
// ShapedLine::size_pt of a shaped line is the em size to draw with, i.e. the whole-pixel
// character height in points (11 pt -> 15 px -> 11.25), not the template's nominal size:
// renderers must draw at ShapedLine::size_pt for the glyph positions to match.
//
// Thread-compatible: one TextShaper per preparation; not for use from two threads at once.
// Shaped lines are immutable and may be shared freely (also across threads) once returned.
#ifndef REPORTENGINE_TEXT_TEXT_SHAPER_H_
#define REPORTENGINE_TEXT_TEXT_SHAPER_H_

#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reportengine/text/font_metrics.h"
#include "reportengine/text/font_spec.h"
#include "reportengine/text/shaped_line.h"

namespace re {

// Pass as max_width_mm to break only at explicit line breaks (auto-width objects).
inline constexpr float kNoWrap = std::numeric_limits<float>::infinity();

class TextShaper {
 public:
  TextShaper();
  ~TextShaper();
  TextShaper(const TextShaper&) = delete;
  TextShaper& operator=(const TextShaper&) = delete;

  // Finds the installed font for spec.name and enters it into fonts(). Returns true when found
  // (again on later calls, cheaply). Returns false and sets *error (when error is non-null) to a
  // one-line text naming the face, e.g. "Font not found: ＭＳ ゴシック", when the face is not
  // installed, or naming the size when size_pt is not in 1..1000.
  // Calling Resolve once per font of a template, before laying it out, is how the caller collects
  // font errors; every other member resolves on demand and fails quietly.
  bool Resolve(const FontSpec& spec, std::string* error);

  // The report's font table: every face resolved so far, in the order first resolved.
  // ShapedLine::font indexes it. Copy it into PreparedReport::fonts.
  const std::vector<FontFace>& fonts() const;

  // Metrics of a resolvable spec; all-zero metrics when it cannot be resolved.
  FontMetrics Metrics(const FontSpec& spec);

  // Shapes one line of text (it must hold no line break: use WrapLines / ShapeLines for text
  // that may). Glyph x positions run from 0 at the line's origin; width is the advance of the
  // whole line. Each distinct (face, size, text) is shaped once per TextShaper: a repeated call
  // returns the same shared object. Returns nullptr when the face cannot be resolved.
  std::shared_ptr<const ShapedLine> Shape(const FontSpec& spec, std::string_view text);

  // The advance width of text set on one line, in mm; 0 when the face cannot be resolved.
  float Width(const FontSpec& spec, std::string_view text);

  // Breaks text into the lines it prints as, in order:
  //  - CR LF, LF and CR each end a line (an empty text, or one ending in a break, gives an empty
  //    last line: "" -> {""}, "a\n" -> {"a", ""});
  //  - lines wrap at spaces (the spaces at a wrap are dropped);
  //  - a run without spaces (Japanese text) breaks after the last character that fits; a word
  //    longer than max_width_mm breaks after its last character that fits; every line holds at
  //    least one character, however narrow max_width_mm;
  //  - with hyphenate on, a word of Cyrillic letters that does not fit is split at a Russian
  //    syllable boundary and its first part ends with "-".
  // max_width_mm is the room for the text itself (the object's width less its side insets);
  // kNoWrap breaks at explicit line breaks only. When the face cannot be resolved, breaks at
  // explicit line breaks only.
  std::vector<std::string> WrapLines(const FontSpec& spec, std::string_view text,
                                     float max_width_mm, bool hyphenate);

  // WrapLines, each line shaped (and cached) as Shape() does. Empty when the face cannot be
  // resolved.
  std::vector<std::shared_ptr<const ShapedLine>> ShapeLines(const FontSpec& spec,
                                                            std::string_view text,
                                                            float max_width_mm, bool hyphenate);

  // The number of distinct lines the cache holds (for tests and benchmarks).
  size_t cached_lines() const;
  // The number of lines shaped or asked for since the last AgeLines() (or since the start).
  size_t recent_lines() const;
  // Keeps the lines asked for since the previous call and forgets the others (lines held
  // elsewhere stay valid), so a long list of distinct texts never holds more than two such
  // periods' lines while the texts it repeats (dates, names, conditions) stay shaped. A line
  // forgotten is shaped anew when asked for again, in a new object. Fonts stay loaded.
  void AgeLines();
  // Forgets every shaped line, as AgeLines() twice.
  void ForgetLines();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;  // fonts, HarfBuzz/FreeType handles, the shaping cache
};

}  // namespace re

#endif  // REPORTENGINE_TEXT_TEXT_SHAPER_H_
