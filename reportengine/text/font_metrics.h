// Vertical font metrics the way a Windows screen at 96 dpi gives them for a font asked for by its
// character height: the em is a whole number of pixels, and ascent and descent are whole pixels
// scaled from the face's Windows ascent and descent.
#ifndef REPORTENGINE_TEXT_FONT_METRICS_H_
#define REPORTENGINE_TEXT_FONT_METRICS_H_

namespace re {

// Vertical metrics of a face at a size, as a 96 dpi Windows screen gives them.
// The *_px values are whole device pixels; the *_mm values are the same lengths in mm.
struct FontMetrics {
  int char_height_px = 0;   // em height: round(size_pt * 96 / 72)
  int ascent_px = 0;        // baseline below the top of a line
  int descent_px = 0;       // bottom of a line below the baseline
  int cell_height_px = 0;   // ascent_px + descent_px
  int line_height_px = 0;   // cell_height_px + 2 px of spacing between lines
  float char_height_mm = 0;
  float ascent_mm = 0;      // where the baseline of a line lies below the line's top
  float descent_mm = 0;
  float cell_height_mm = 0;
  float line_height_mm = 0; // distance from one line's top to the next line's top
  // Height taken by `lines` lines of text, spacing after each line included.
  float TextHeight(int lines) const { return static_cast<float>(lines) * line_height_mm; }
};

// Character height in whole pixels of size_pt points: round(size_pt * 96 / 72).
int CharHeightPx(int size_pt);

// Metrics of a face at size_pt. units_per_em, win_ascent and win_descent are the face's own
// (OS/2 table). With no_internal_leading the cell is exactly the character height, split in the
// ratio of ascent to descent; otherwise ascent and descent are the face's, scaled to the
// character height and rounded to whole pixels. REQUIRES: size_pt > 0, units_per_em > 0.
FontMetrics ComputeMetrics(int size_pt, int units_per_em, int win_ascent, int win_descent,
                           bool no_internal_leading);

}  // namespace re

#endif  // REPORTENGINE_TEXT_FONT_METRICS_H_
