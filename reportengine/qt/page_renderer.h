// Draws prepared pages onto any QPainter (screen, image, printer) with the same font files,
// glyph ids and glyph positions as the PDF writer, so that what the user sees in the preview,
// on paper and in the PDF file agree glyph for glyph.
//
// Glyphs go out as QGlyphRuns of unhinted faces, so they keep their fractional x positions;
// Qt's glyph cache puts each baseline on a whole device pixel, which moves a line by at most
// half a pixel (0.13 mm at 100 %). Filling glyph outlines instead would be exact but some
// sixty times slower per page. Axis-parallel rules are snapped to whole pixels, as PDF viewers
// do (stroke adjustment).
#ifndef REPORTENGINE_QT_PAGE_RENDERER_H_
#define REPORTENGINE_QT_PAGE_RENDERER_H_

#include <QImage>
#include <QRawFont>
#include <QRectF>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "reportengine/layout/prepared_page.h"

class QPainter;

namespace re {

class PageRenderer {
 public:
  // Holds a copy of the report's font list; faces are loaded on first use.
  explicit PageRenderer(std::vector<FontFace> fonts);
  PageRenderer(const PageRenderer&) = delete;
  PageRenderer& operator=(const PageRenderer&) = delete;

  // Draws `page` with its top-left corner at `origin` (device units of `painter`), at
  // `units_per_mm` device units per millimetre, in the painter's current device coordinates.
  // Items whose font cannot be loaded or whose index is out of range are skipped and counted in
  // MissingFontCount(); nothing else can fail. The painter's state is restored afterwards.
  void Draw(QPainter& painter, const PreparedPage& page, QPointF origin,
            double units_per_mm) const;

  // Returns `page` drawn on a white image of `dots_per_inch` (ARGB32 premultiplied, with the
  // resolution stored in the image). An empty image when the size is not drawable.
  QImage Render(const PreparedPage& page, double dots_per_inch) const;

  // Returns the box of the bytes [begin, end) of `item`'s text on the page, in millimetres: from
  // the first glyph of that range to the next glyph after it (the line's width at the end),
  // from the font's ascent above the baseline to its descent below. Empty when nothing of the
  // range is drawn.
  QRectF TextBoxMm(const TextItem& item, size_t begin, size_t end) const;

  // Number of text items skipped so far because their face could not be loaded.
  int MissingFontCount() const { return missing_fonts_; }

 private:
  // Returns the face `font` at `pixel_size`, invalid when the file cannot be loaded.
  const QRawFont& Font(int font, double pixel_size) const;
  void DrawText(QPainter& painter, const TextItem& item, QPointF origin, double scale) const;

  std::vector<FontFace> fonts_;                               // the report's faces
  mutable std::vector<QRawFont> loaded_;                      // per face, loaded once (any size)
  mutable std::vector<bool> tried_;                           // per face: load attempted
  mutable std::map<std::pair<int, double>, QRawFont> sized_;  // (face, pixel size) → font
  mutable int missing_fonts_ = 0;                             // text items skipped
};

}  // namespace re

#endif  // REPORTENGINE_QT_PAGE_RENDERER_H_
