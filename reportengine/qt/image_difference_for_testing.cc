#include "reportengine/qt/image_difference_for_testing.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace re::testing {
namespace {

std::vector<int> Blurred(const QImage& image, int w, int h) {
  std::vector<int> grey(static_cast<size_t>(w) * h), out(grey.size());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) grey[y * w + x] = qGray(image.pixel(x, y));
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int sum = 0, n = 0;
      for (int yy = std::max(0, y - 1); yy <= std::min(h - 1, y + 1); ++yy) {
        for (int xx = std::max(0, x - 1); xx <= std::min(w - 1, x + 1); ++xx) {
          sum += grey[yy * w + xx];
          ++n;
        }
      }
      out[y * w + x] = sum / n;
    }
  }
  return out;
}

}  // namespace

bool IsWhite(QRgb p) { return qRed(p) > 240 && qGreen(p) > 240 && qBlue(p) > 240; }

Difference Compare(const QImage& a, const QImage& b) {
  Difference d;
  const int w = std::min(a.width(), b.width()), h = std::min(a.height(), b.height());
  if (w <= 0 || h <= 0) return {1.0, 0, 0};
  const std::vector<int> ga = Blurred(a, w, h), gb = Blurred(b, w, h);
  int far = 0;
  for (size_t i = 0; i < ga.size(); ++i) far += std::abs(ga[i] - gb[i]) > 64;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      d.ink_a += !IsWhite(a.pixel(x, y));
      d.ink_b += !IsWhite(b.pixel(x, y));
    }
  }
  d.far_off = static_cast<double>(far) / (static_cast<double>(w) * h);
  return d;
}

}  // namespace re::testing
