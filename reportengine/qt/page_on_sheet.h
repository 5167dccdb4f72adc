// Puts a prepared page on another sheet of paper, as printing with changed page settings does:
// the page's content (what lies inside its own margins) goes into the sheet's printable area,
// scaled down when it does not fit (never enlarged), at the area's top-left corner. The preview
// draws the same sheets it prints, so the user sees what will come out of the printer.
#ifndef REPORTENGINE_QT_PAGE_ON_SHEET_H_
#define REPORTENGINE_QT_PAGE_ON_SHEET_H_

#include "reportengine/layout/prepared_page.h"
#include "reportengine/model/template.h"

namespace re {

struct Sheet {
  float width = 210, height = 297;  // millimetres, as the sheet lies (landscape: wider)
  Margins margins{};                // the sheet's printable area
};

// The sheet a page itself is printed on: its own size with the report's margins.
Sheet SheetOfPage(const PreparedPage& page, const Margins& report_margins);

// `page` as it prints on `sheet`. A sheet equal to SheetOfPage(page, report_margins) gives the
// page unchanged.
PreparedPage PageOnSheet(const PreparedPage& page, const Margins& report_margins,
                         const Sheet& sheet);

}  // namespace re

#endif  // REPORTENGINE_QT_PAGE_ON_SHEET_H_
