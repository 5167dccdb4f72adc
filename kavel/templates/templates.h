// Kavel's seven built-in report templates, each a plain re::Template built in code so that it
// reads like its layout table: every band, object, position (mm from the band's top-left
// corner), size, font, colour, line and alignment.
//
//   frxReport1, frxReport2, frxReport8  the check-result lists (table RepChk, frxDBDataset1)
//   frxReport3, frxReport7              the patient list (table Rep, frxDBDataset3), printed with
//                                       the chart-number rule
//   frxReport4, frxReport6              the grouped check lists (table RepChkList, frxDBDataset4)
#ifndef KAVEL_TEMPLATES_TEMPLATES_H_
#define KAVEL_TEMPLATES_TEMPLATES_H_

#include "reportengine/report.h"
#include "reportengine/template.h"

namespace kavel::templates {

re::Template frxReport1();  // kinds "1", "2": Line1..Line3 under the caption
re::Template frxReport2();  // kinds "3", "4": Line1..Line4 under the caption
re::Template frxReport8();  // kind "10": "レセプト抽出条件リスト"
re::Template frxReport3();  // kinds "5", "6": the patient list
re::Template frxReport7();  // kind "5" with variant "1": the same pages as frxReport3
re::Template frxReport4();  // kinds "7", "8": two heading levels, check boxes
re::Template frxReport6();  // kind "9": one heading level, two text columns

// The chart-number rule of frxReport3 and frxReport7: before each row, the Line1 cell
// (frxDBDataset3Line1) is set to 7 pt when the row's Line1 value has 8 characters or more,
// else to 10 pt. Characters are counted as UTF-16 units, as the main application counts them.
void ChartNumberRule(const re::RowFields& row, re::Report& report);

}  // namespace kavel::templates

#endif  // KAVEL_TEMPLATES_TEMPLATES_H_
