#include "reportengine/qt/image_difference_for_testing.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace re::testing {

bool IsWhite(QRgb p) { return qRed(p) > 240 && qGreen(p) > 240 && qBlue(p) > 240; }

namespace {

// Grey levels averaged over the 3×3 pixels around each pixel (fewer at the edges).
std::vector<int> Blurred(const QImage& image, int w, int h) {
  const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  std::vector<int> rows(static_cast<size_t>(w) * h), out(rows.size());
  for (int y = 0; y < h; ++y) {
    const uchar* line = grey.constScanLine(y);
    for (int x = 0; x < w; ++x) {
      rows[y * w + x] = line[x] + (x > 0 ? line[x - 1] : 0) + (x + 1 < w ? line[x + 1] : 0);
    }
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int columns = 1 + (x > 0) + (x + 1 < w);
      const int lines = 1 + (y > 0) + (y + 1 < h);
      int sum = rows[y * w + x];
      if (y > 0) sum += rows[(y - 1) * w + x];
      if (y + 1 < h) sum += rows[(y + 1) * w + x];
      out[y * w + x] = sum / (columns * lines);
    }
  }
  return out;
}

int Ink(const QImage& image, int w, int h) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  int ink = 0;
  for (int y = 0; y < h; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < w; ++x) ink += !IsWhite(line[x]);
  }
  return ink;
}

}  // namespace

Difference Compare(const QImage& a, const QImage& b) {
  Difference d;
  const int w = std::min(a.width(), b.width()), h = std::min(a.height(), b.height());
  if (w <= 0 || h <= 0) return {1.0, 0, 0};
  const std::vector<int> ga = Blurred(a, w, h), gb = Blurred(b, w, h);
  int far = 0;
  for (size_t i = 0; i < ga.size(); ++i) far += std::abs(ga[i] - gb[i]) > 64;
  d.ink_a = Ink(a, w, h);
  d.ink_b = Ink(b, w, h);
  d.far_off = static_cast<double>(far) / (static_cast<double>(w) * h);
  return d;
}

}  // namespace re::testing
