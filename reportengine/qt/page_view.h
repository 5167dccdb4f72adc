// The widget that shows all pages of a prepared report one below the other at a zoom factor,
// with the find hits on them marked. Put inside a scroll area it lets the user scroll through the
// whole report continuously; only the pages in the painted area are drawn.
#ifndef REPORTENGINE_QT_PAGE_VIEW_H_
#define REPORTENGINE_QT_PAGE_VIEW_H_

#include <QList>
#include <QRectF>
#include <QWidget>

#include <vector>

#include "reportengine/layout/prepared_page.h"

namespace re {

class PageRenderer;

class PageView : public QWidget {
  Q_OBJECT

 public:
  // A marked box: the page (0-based), the box on it in millimetres, and whether it belongs to
  // the current find hit (marked stronger).
  struct Mark {
    int page = 0;
    QRectF box_mm;
    bool current = false;
  };

  explicit PageView(QWidget* parent = nullptr);

  // Shows `pages` drawn by `renderer`; both must outlive the view or be replaced first.
  // nullptr shows nothing.
  void SetPages(const PageRenderer* renderer, const std::vector<PreparedPage>* pages);
  // 1.0 shows a millimetre as at 96 dpi. The widget resizes to the pages at that zoom.
  void SetZoom(double zoom);
  double zoom() const { return zoom_; }
  // Boxes to mark.
  void SetHighlights(QList<Mark> marks);

  int page_count() const { return pages_ ? static_cast<int>(pages_->size()) : 0; }
  // Where page `index` (0-based) lies in the widget, in pixels.
  QRect PageRect(int index) const;
  // The widget pixels that `box_mm` on page `index` covers at the current zoom.
  QRect ToPixels(int index, const QRectF& box_mm) const;
  // The page that shows the most of the rows [top, bottom) of the widget (the first of equals);
  // -1 when there are no pages.
  int PageInRows(int top, int bottom) const;
  // Screen pixels per millimetre at the current zoom.
  double PixelsPerMm() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Relayout();

  const PageRenderer* renderer_ = nullptr;          // draws the pages; not owned
  const std::vector<PreparedPage>* pages_ = nullptr;  // the pages shown; not owned
  double zoom_ = 1.0;                               // 1.0 = 100 %
  std::vector<QRect> rects_;                        // per page, its place in the widget
  QList<Mark> highlights_;                          // find hits
};

}  // namespace re

#endif  // REPORTENGINE_QT_PAGE_VIEW_H_
