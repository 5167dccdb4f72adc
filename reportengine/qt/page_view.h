// The widget that shows one prepared page at a zoom factor, with the find hits on it marked.
#ifndef REPORTENGINE_QT_PAGE_VIEW_H_
#define REPORTENGINE_QT_PAGE_VIEW_H_

#include <QList>
#include <QRectF>
#include <QWidget>

#include "reportengine/layout/prepared_page.h"

namespace re {

class PageRenderer;

class PageView : public QWidget {
  Q_OBJECT

 public:
  explicit PageView(QWidget* parent = nullptr);

  // Shows `page` drawn by `renderer`; both must outlive the view or be replaced first.
  // nullptr shows nothing.
  void SetPage(const PageRenderer* renderer, const PreparedPage* page);
  // 1.0 shows a millimetre as at 96 dpi. The widget resizes to the page at that zoom.
  void SetZoom(double zoom);
  double zoom() const { return zoom_; }
  // Boxes in millimetres to mark; `current` (an index into them, or -1) is marked stronger.
  void SetHighlights(QList<QRectF> boxes_mm, int current);

  // The widget pixels that `box_mm` covers at the current zoom.
  QRect ToPixels(const QRectF& box_mm) const;
  // Screen pixels per millimetre at the current zoom.
  double PixelsPerMm() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void UpdateSize();

  const PageRenderer* renderer_ = nullptr;  // draws the page; not owned
  const PreparedPage* page_ = nullptr;      // the page shown; not owned
  double zoom_ = 1.0;                       // 1.0 = 100 %
  QList<QRectF> highlights_;                // find hits on this page, mm
  int current_highlight_ = -1;              // index into highlights_ of the current hit
};

}  // namespace re

#endif  // REPORTENGINE_QT_PAGE_VIEW_H_
