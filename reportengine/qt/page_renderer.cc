#include "reportengine/qt/page_renderer.h"

#include <QFile>
#include <QGlyphRun>
#include <QPainter>
#include <QPen>
#include <QtEndian>

#include <algorithm>
#include <cmath>

#include "reportengine/qt/preview_texts.h"

using namespace re::preview;  // NOLINT: the window's own texts and numbers

namespace re {
namespace {

constexpr double kMmPerPoint = 25.4 / 72.0;

QColor ToQColor(const Color& c) { return QColor(c.r, c.g, c.b); }

bool Finite(float v) { return std::isfinite(v); }

// QRawFont always opens the first face of a font collection. For a later face, build a
// stand-alone font from that face's table directory: same tables, offsets made relative to the
// new file. Returns an empty array when `data` is not a collection holding face `index`.
QByteArray ExtractCollectionFace(const QByteArray& data, int index) {
  auto u32 = [&](qsizetype at) -> quint32 {
    if (at < 0 || at + 4 > data.size()) return 0;
    return qFromBigEndian<quint32>(data.constData() + at);
  };
  auto u16 = [&](qsizetype at) -> quint16 {
    if (at < 0 || at + 2 > data.size()) return 0;
    return qFromBigEndian<quint16>(data.constData() + at);
  };
  if (data.size() < 12 || !data.startsWith("ttcf")) return {};
  const quint32 face_count = u32(8);
  if (index < 0 || static_cast<quint32>(index) >= face_count) return {};
  const qsizetype dir = u32(12 + 4 * static_cast<qsizetype>(index));
  const quint16 table_count = u16(dir + 4);
  if (table_count == 0 || dir + 12 + 16 * static_cast<qsizetype>(table_count) > data.size()) {
    return {};
  }
  QByteArray out = data.mid(dir, 12 + 16 * table_count);
  for (quint16 t = 0; t < table_count; ++t) {
    const qsizetype record = dir + 12 + 16 * t;
    const quint32 offset = u32(record + 8);
    const quint32 length = u32(record + 12);
    if (static_cast<qsizetype>(offset) + static_cast<qsizetype>(length) > data.size()) return {};
    while (out.size() % 4 != 0) out.append('\0');
    qToBigEndian<quint32>(static_cast<quint32>(out.size()), out.data() + 12 + 16 * t + 8);
    out.append(data.constData() + offset, length);
  }
  return out;
}

QRawFont LoadFace(const FontFace& face) {
  QFile file(QString::fromStdString(face.file));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray data = file.readAll();
  if (face.index != 0) data = ExtractCollectionFace(data, face.index);
  if (data.isEmpty()) return {};
  // No hinting: outlines as the PDF viewer draws them, and positions that keep their fractions.
  return QRawFont(data, kReferencePixelSize, QFont::PreferNoHinting);
}

// Stroke width in device units: whole units, at least one. Together with SnapStroke this
// keeps horizontal and vertical rules crisp, as PDF viewers draw them (stroke adjustment),
// instead of smearing a 0.26 mm rule over two grey pixel rows on screen.
double StrokeUnits(float width_mm, double scale) {
  const double units = static_cast<double>(width_mm) * scale;
  if (!std::isfinite(units)) return kMinimumStrokeUnits;
  return std::max(std::round(units), kMinimumStrokeUnits);
}

// Centre of an axis-parallel stroke of `units` width near `v`, so that it covers whole pixels.
double SnapStroke(double v, double units) {
  return static_cast<long long>(units) % 2 == 1 ? std::floor(v) + 0.5 : std::round(v);
}

QPen StrokePen(const Color& color, double units) {
  QPen pen(ToQColor(color));
  pen.setWidthF(units);
  pen.setCapStyle(Qt::FlatCap);  // PDF's default butt cap
  pen.setJoinStyle(Qt::MiterJoin);
  return pen;
}

}  // namespace

PageRenderer::PageRenderer(std::vector<FontFace> fonts)
    : fonts_(std::move(fonts)), loaded_(fonts_.size()), tried_(fonts_.size(), false) {}

const QRawFont& PageRenderer::Font(int font, double pixel_size) const {
  static const QRawFont kInvalid;
  if (font < 0 || static_cast<size_t>(font) >= fonts_.size()) return kInvalid;
  if (!tried_[font]) {
    tried_[font] = true;
    loaded_[font] = LoadFace(fonts_[font]);
  }
  if (!loaded_[font].isValid()) return kInvalid;
  auto key = std::make_pair(font, pixel_size);
  auto it = sized_.find(key);
  if (it == sized_.end()) {
    QRawFont sized = loaded_[font];
    sized.setPixelSize(pixel_size);
    it = sized_.emplace(key, sized).first;
  }
  return it->second;
}

void PageRenderer::DrawText(QPainter& painter, const TextItem& item, QPointF origin,
                            double scale) const {
  if (!item.line || item.line->glyphs.empty()) return;
  const ShapedLine& line = *item.line;
  if (!Finite(line.size_pt) || line.size_pt <= 0 || !Finite(item.x) || !Finite(item.y) ||
      !Finite(line.scale) || line.scale <= 0) {
    return;
  }
  const QRawFont& font = Font(line.font, line.size_pt * kMmPerPoint * scale);
  if (!font.isValid()) {
    ++missing_fonts_;
    return;
  }
  QList<quint32> ids;
  QList<QPointF> positions;
  ids.reserve(static_cast<qsizetype>(line.glyphs.size()));
  positions.reserve(static_cast<qsizetype>(line.glyphs.size()));
  for (const Glyph& g : line.glyphs) {
    if (!Finite(g.x) || !Finite(g.y)) continue;
    ids.append(g.id);
    // A narrowed line is drawn in a horizontally scaled system (below), where its glyphs stand
    // at their narrowed positions divided by that scale.
    positions.append(QPointF(g.x * scale / line.scale, g.y * scale));
  }
  QGlyphRun run;
  run.setRawFont(font);
  run.setGlyphIndexes(ids);
  run.setPositions(positions);
  painter.save();
  // A box without width or height means the text has no box to stay in: drawn whole, as the
  // PDF writer does.
  const RectMm& clip = item.clip;
  if (clip.width > 0 && clip.height > 0) {
    painter.setClipRect(QRectF(origin.x() + clip.left * scale, origin.y() + clip.top * scale,
                               clip.width * scale, clip.height * scale),
                        Qt::IntersectClip);
  }
  painter.setPen(ToQColor(item.color));
  const QPointF at(origin.x() + item.x * scale, origin.y() + item.y * scale);
  if (line.scale == 1) {
    painter.drawGlyphRun(at, run);
  } else {
    painter.translate(at);
    painter.scale(line.scale, 1);
    painter.drawGlyphRun(QPointF(0, 0), run);
  }
  painter.restore();
}

void PageRenderer::Draw(QPainter& painter, const PreparedPage& page, QPointF origin,
                        double units_per_mm) const {
  if (!(units_per_mm > 0) || !std::isfinite(units_per_mm)) return;
  const double s = units_per_mm;
  auto at = [&](float x, float y) { return QPointF(origin.x() + x * s, origin.y() + y * s); };
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  for (const PageItem& any : page.items) {
    if (const auto* text = std::get_if<TextItem>(&any)) {
      DrawText(painter, *text, origin, s);
    } else if (const auto* line = std::get_if<LineItem>(&any)) {
      const double units = StrokeUnits(line->width, s);
      QPen pen = StrokePen(line->color, units);
      if (line->style == LineStyle::kDot) pen.setDashPattern(kDotPattern);
      QPointF a = at(line->x1, line->y1), b = at(line->x2, line->y2);
      if (line->y1 == line->y2) {
        a.setY(SnapStroke(a.y(), units));
        b.setY(a.y());
        a.setX(std::round(a.x()));
        b.setX(std::round(b.x()));
      } else if (line->x1 == line->x2) {
        a.setX(SnapStroke(a.x(), units));
        b.setX(a.x());
        a.setY(std::round(a.y()));
        b.setY(std::round(b.y()));
      }
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      painter.drawLine(a, b);
    } else if (const auto* rect = std::get_if<RectItem>(&any)) {
      const QPointF top_left = at(rect->rect.left, rect->rect.top);
      const QPointF bottom_right =
          at(rect->rect.left + rect->rect.width, rect->rect.top + rect->rect.height);
      if (rect->fill) {
        const QPointF a(std::round(top_left.x()), std::round(top_left.y()));
        const QPointF b(std::round(bottom_right.x()), std::round(bottom_right.y()));
        painter.fillRect(QRectF(a, b), ToQColor(*rect->fill));
      }
      if (rect->outline) {
        const double units = StrokeUnits(rect->outline_width, s);
        const QPointF a(SnapStroke(top_left.x(), units), SnapStroke(top_left.y(), units));
        const QPointF b(SnapStroke(bottom_right.x(), units), SnapStroke(bottom_right.y(), units));
        painter.setPen(StrokePen(*rect->outline, units));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(a, b));
      }
    }
  }
  painter.restore();
}

QImage PageRenderer::Render(const PreparedPage& page, double dots_per_inch) const {
  const double units_per_mm = dots_per_inch / 25.4;
  const double w = std::ceil(page.width * units_per_mm);
  const double h = std::ceil(page.height * units_per_mm);
  if (!(w >= 1 && h >= 1 && w <= kMaxImageSide && h <= kMaxImageSide)) return {};
  QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32_Premultiplied);
  const int dots_per_metre = static_cast<int>(std::lround(dots_per_inch / 0.0254));
  image.setDotsPerMeterX(dots_per_metre);
  image.setDotsPerMeterY(dots_per_metre);
  image.fill(Qt::white);
  QPainter painter(&image);
  Draw(painter, page, QPointF(0, 0), units_per_mm);
  painter.end();
  return image;
}

QRectF PageRenderer::TextBoxMm(const TextItem& item, size_t begin, size_t end) const {
  if (!item.line || begin >= end) return {};
  const ShapedLine& line = *item.line;
  double left = 0, right = 0;
  bool any = false;
  for (size_t i = 0; i < line.glyphs.size(); ++i) {
    const Glyph& g = line.glyphs[i];
    if (g.cluster < begin || g.cluster >= end) continue;
    const double next = i + 1 < line.glyphs.size() ? line.glyphs[i + 1].x : line.width;
    const double lo = std::min<double>(g.x, next), hi = std::max<double>(g.x, next);
    left = any ? std::min(left, lo) : lo;
    right = any ? std::max(right, hi) : hi;
    any = true;
  }
  if (!any) return {};
  const double size_mm = line.size_pt * kMmPerPoint;
  double ascent = size_mm * kFallbackAscent, descent = size_mm * kFallbackDescent;
  const QRawFont& font = Font(line.font, size_mm);
  if (font.isValid()) {
    ascent = font.ascent();
    descent = font.descent();
  }
  return QRectF(item.x + left, item.y - ascent, right - left, ascent + descent);
}

}  // namespace re
