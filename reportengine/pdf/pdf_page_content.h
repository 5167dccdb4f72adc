// Turns one prepared page into the operators of its PDF content stream, item by item in the
// page's drawing order: text placed glyph by glyph at the prepared positions and cut at its
// item's clip rectangle, lines (solid or dotted), and filled or outlined rectangles.
#ifndef REPORTENGINE_PDF_PDF_PAGE_CONTENT_H_
#define REPORTENGINE_PDF_PDF_PAGE_CONTENT_H_

#include <string>
#include <vector>

#include "reportengine/pdf/pdf_font.h"
#include "reportengine/layout/prepared_page.h"

namespace re::pdf {

// Page size in points, as written in /MediaBox.
double PageWidthPt(const PreparedPage& page);
double PageHeightPt(const PreparedPage& page);

// Appends the content of `page` to *content (cleared first) and the report font indexes it
// uses, each once, to *fonts_used; the text of every item is recorded with its font for the
// subset. Fonts are resource names /F<index>. A text item with an empty clip rectangle (no
// width or no height) is drawn unclipped. Returns false with an error-box text in *error when
// a text item names a font that is not in the report or that cannot be read.
bool BuildPageContent(const PreparedPage& page, FontSet* fonts, std::string* content,
                      std::vector<int>* fonts_used, std::string* error);

}  // namespace re::pdf

#endif  // REPORTENGINE_PDF_PDF_PAGE_CONTENT_H_
