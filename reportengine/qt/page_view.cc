#include "reportengine/qt/page_view.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

#include "reportengine/qt/page_renderer.h"
#include "reportengine/qt/preview_texts.h"

using namespace re::preview;  // NOLINT: the window's own texts and numbers

namespace re {

PageView::PageView(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(false);
  UpdateSize();
}

void PageView::SetPage(const PageRenderer* renderer, const PreparedPage* page) {
  renderer_ = renderer;
  page_ = page;
  highlights_.clear();
  current_highlight_ = -1;
  UpdateSize();
  update();
}

void PageView::SetZoom(double zoom) {
  zoom_ = zoom;
  UpdateSize();
  update();
}

void PageView::SetHighlights(QList<QRectF> boxes_mm, int current) {
  highlights_ = std::move(boxes_mm);
  current_highlight_ = current;
  update();
}

double PageView::PixelsPerMm() const { return zoom_ * kScreenDpi / 25.4; }

QRect PageView::ToPixels(const QRectF& box_mm) const {
  const double s = PixelsPerMm();
  return QRectF(kPageMarginPx + box_mm.left() * s, kPageMarginPx + box_mm.top() * s,
                box_mm.width() * s, box_mm.height() * s)
      .toAlignedRect();
}

void PageView::UpdateSize() {
  QSize size(2 * kPageMarginPx, 2 * kPageMarginPx);
  if (page_) {
    const double s = PixelsPerMm();
    size += QSize(static_cast<int>(std::ceil(page_->width * s)),
                  static_cast<int>(std::ceil(page_->height * s)));
  }
  setFixedSize(size);
}

void PageView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), palette().color(QPalette::Dark));
  if (!page_ || !renderer_) return;
  const QRect paper(kPageMarginPx, kPageMarginPx, width() - 2 * kPageMarginPx,
                    height() - 2 * kPageMarginPx);
  painter.fillRect(paper, Qt::white);
  painter.setClipRect(paper.intersected(event->rect()));
  renderer_->Draw(painter, *page_, QPointF(kPageMarginPx, kPageMarginPx), PixelsPerMm());
  for (qsizetype i = 0; i < highlights_.size(); ++i) {
    const unsigned argb = i == current_highlight_ ? kCurrentHighlightArgb : kHighlightArgb;
    painter.fillRect(ToPixels(highlights_[i]), QColor::fromRgba(argb));
  }
}

}  // namespace re
