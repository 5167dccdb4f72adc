#include "reportengine/qt/page_view.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "reportengine/qt/page_renderer.h"
#include "reportengine/qt/preview_texts.h"

using namespace re::preview;  // NOLINT: the window's own texts and numbers

namespace re {

PageView::PageView(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(false);
  Relayout();
}

void PageView::SetPages(const PageRenderer* renderer, const std::vector<PreparedPage>* pages) {
  renderer_ = renderer;
  pages_ = pages;
  highlights_.clear();
  Relayout();
  update();
}

void PageView::SetZoom(double zoom) {
  zoom_ = zoom;
  Relayout();
  update();
}

void PageView::SetHighlights(QList<Mark> marks) {
  highlights_ = std::move(marks);
  update();
}

double PageView::PixelsPerMm() const { return zoom_ * kScreenDpi / 25.4; }

QRect PageView::PageRect(int index) const {
  if (index < 0 || index >= static_cast<int>(rects_.size())) return QRect();
  return rects_[static_cast<size_t>(index)];
}

QRect PageView::ToPixels(int index, const QRectF& box_mm) const {
  const QRect page = PageRect(index);
  const double s = PixelsPerMm();
  return QRectF(page.left() + box_mm.left() * s, page.top() + box_mm.top() * s,
                box_mm.width() * s, box_mm.height() * s)
      .toAlignedRect();
}

int PageView::PageInRows(int top, int bottom) const {
  int best = -1, best_rows = -1;
  // Pages lie in order from top to bottom: start at the first one reaching below `top`.
  auto first = std::lower_bound(rects_.begin(), rects_.end(), top,
                                [](const QRect& r, int y) { return r.bottom() < y; });
  for (auto it = first; it != rects_.end() && it->top() < bottom; ++it) {
    const int rows = std::min(bottom, it->bottom() + 1) - std::max(top, it->top());
    if (rows > best_rows) {
      best_rows = rows;
      best = static_cast<int>(it - rects_.begin());
    }
  }
  if (best < 0 && !rects_.empty()) best = top >= rects_.back().top() ? page_count() - 1 : 0;
  return best;
}

void PageView::Relayout() {
  rects_.clear();
  const double s = PixelsPerMm();
  int widest = 0;
  for (int i = 0; i < page_count(); ++i) {
    const PreparedPage& page = (*pages_)[static_cast<size_t>(i)];
    widest = std::max(widest, static_cast<int>(std::ceil(page.width * s)));
  }
  int y = kPageMarginPx;
  for (int i = 0; i < page_count(); ++i) {
    const PreparedPage& page = (*pages_)[static_cast<size_t>(i)];
    const int w = static_cast<int>(std::ceil(page.width * s));
    const int h = std::max(1, static_cast<int>(std::ceil(page.height * s)));
    rects_.emplace_back(kPageMarginPx + (widest - w) / 2, y, w, h);
    y += h + kPageMarginPx;
  }
  setFixedSize(widest + 2 * kPageMarginPx, std::max(y, 2 * kPageMarginPx));
}

void PageView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect area = event->rect();
  painter.fillRect(area, palette().color(QPalette::Dark));
  if (!pages_ || !renderer_) return;
  auto first = std::lower_bound(rects_.begin(), rects_.end(), area.top(),
                                [](const QRect& r, int y) { return r.bottom() < y; });
  for (auto it = first; it != rects_.end() && it->top() <= area.bottom(); ++it) {
    const int index = static_cast<int>(it - rects_.begin());
    painter.save();
    painter.fillRect(*it, Qt::white);
    painter.setClipRect(it->intersected(area));
    renderer_->Draw(painter, (*pages_)[static_cast<size_t>(index)], it->topLeft(),
                    PixelsPerMm());
    for (const Mark& mark : highlights_) {
      if (mark.page != index) continue;
      const unsigned argb = mark.current ? kCurrentHighlightArgb : kHighlightArgb;
      painter.fillRect(ToPixels(index, mark.box_mm), QColor::fromRgba(argb));
    }
    painter.restore();
  }
}

}  // namespace re
