// Compares two renderings of the same page (ours and a PDF viewer's) for the preview tests.
#ifndef REPORTENGINE_QT_IMAGE_DIFFERENCE_FOR_TESTING_H_
#define REPORTENGINE_QT_IMAGE_DIFFERENCE_FOR_TESTING_H_

#include <QImage>

namespace re::testing {

bool IsWhite(QRgb p);

// How far two renderings differ over the area both cover: the share of pixels whose grey level,
// averaged over the 3×3 pixels around it, differs by more than a quarter of the range. The
// averaging forgives anti-aliasing and hinting at glyph edges, not a glyph or rule out of place.
struct Difference {
  double far_off = 0;  // share of all compared pixels
  int ink_a = 0, ink_b = 0;  // non-white pixels of each image
};
Difference Compare(const QImage& a, const QImage& b);

}  // namespace re::testing

#endif  // REPORTENGINE_QT_IMAGE_DIFFERENCE_FOR_TESTING_H_
