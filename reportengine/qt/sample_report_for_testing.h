// A small known list for the preview tests: three A4 pages of Japanese and Latin text shaped with
// the engine's own shaper and the installed template fonts, with a caption frame, solid, thick
// and dotted rules, a filled band, a cell whose text runs past its clip box and (on page 2) two
// cells whose text wraps onto a second line.
#ifndef REPORTENGINE_QT_SAMPLE_REPORT_FOR_TESTING_H_
#define REPORTENGINE_QT_SAMPLE_REPORT_FOR_TESTING_H_

#include <string>

#include "reportengine/layout/prepared_page.h"

namespace re::testing {

// Words that the find tests look for, and the pages (1-based) they print on.
inline constexpr char kWordOnPages1And3[] = "Sample";       // also as "SAMPLE" on page 3
inline constexpr char kJapaneseOnPage2[] = "保険者番号";
// On page 2, split over the two lines of one text object, both shown.
inline constexpr char kWrappedOnPage2[] = "診療行為名称";
// On page 2, in an object whose second line ("郎") lies below its box, over the next row.
inline constexpr char kCutOnPage2[] = "次郎";

// The list; *error says which face is missing when the fonts are not installed (empty report).
PreparedReport SampleReport(std::string* error);

}  // namespace re::testing

#endif  // REPORTENGINE_QT_SAMPLE_REPORT_FOR_TESTING_H_
