// Kavel's seven built-in report templates, each a plain re::Template built in code so that it
// reads like its layout table: every band, object, position (mm from the band's top-left
// corner), size, font, colour, line and alignment.
//
//   Report1, Report2, Report8  the check-result lists (table RepChk, DBDataset1)
//   Report3, Report7           the patient list (table Rep, DBDataset3), printed with the
//                              chart-number rule
//   Report4, Report6           the grouped check lists (table RepChkList, DBDataset4)
#ifndef KAVEL_TEMPLATES_TEMPLATES_H_
#define KAVEL_TEMPLATES_TEMPLATES_H_

#include "reportengine/layout/report.h"
#include "reportengine/model/template.h"

namespace kavel::templates {

re::Template Report1();  // kinds "1", "2": Line1..Line3 under the caption
re::Template Report2();  // kinds "3", "4": Line1..Line4 under the caption
re::Template Report8();  // kind "10": "レセプト抽出条件リスト"
re::Template Report3();  // kinds "5", "6": the patient list
re::Template Report7();  // kind "5" with variant "1": the same pages as Report3
re::Template Report4();  // kinds "7", "8": two heading levels, check boxes
re::Template Report6();  // kind "9": one heading level, two text columns

// The chart-number rule of Report3 and Report7: for each row, the Line1 cell
// (DBDataset3Line1) prints at 7 pt when the row's Line1 value has 8 characters or more,
// else at 10 pt. Characters are counted as UTF-16 units, as the main application counts them.
re::RowOverrides ChartNumberRule(const re::RowFields& row);

}  // namespace kavel::templates

#endif  // KAVEL_TEMPLATES_TEMPLATES_H_
