#include "reportengine/text/font_metrics.h"

#include <cmath>

#include "reportengine/text/text_constants.h"

namespace re {

int CharHeightPx(int size_pt) {
  // Integer arithmetic, rounding half up as MulDiv does: no float error at the .5 boundaries.
  const long long num = static_cast<long long>(size_pt) * text::kDevicePixelsPerInch;
  return static_cast<int>((2 * num + text::kPointsPerInch) / (2 * text::kPointsPerInch));
}

FontMetrics ComputeMetrics(int size_pt, int units_per_em, int win_ascent, int win_descent,
                           bool no_internal_leading) {
  FontMetrics m;
  m.char_height_px = CharHeightPx(size_pt);
  const double em = m.char_height_px;
  if (no_internal_leading && win_ascent + win_descent > 0) {
    m.ascent_px = static_cast<int>(std::lround(em * win_ascent / (win_ascent + win_descent)));
    m.descent_px = m.char_height_px - m.ascent_px;
  } else {
    m.ascent_px = static_cast<int>(std::lround(em * win_ascent / units_per_em));
    m.descent_px = static_cast<int>(std::lround(em * win_descent / units_per_em));
  }
  m.cell_height_px = m.ascent_px + m.descent_px;
  m.line_height_px = m.cell_height_px + text::kLineSpacingPx;
  m.char_height_mm = m.char_height_px * text::kMmPerPixel;
  m.ascent_mm = m.ascent_px * text::kMmPerPixel;
  m.descent_mm = m.descent_px * text::kMmPerPixel;
  m.cell_height_mm = m.cell_height_px * text::kMmPerPixel;
  m.line_height_mm = m.line_height_px * text::kMmPerPixel;
  return m;
}

}  // namespace re
