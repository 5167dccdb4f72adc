// Tables described as tab-separated text, for the jet-write tool: the first line names the
// columns with their types, every further line is one row.
//
//   num:Long<TAB>Line1:Text(50)<TAB>Note:Memo<TAB>Paid:Currency<TAB>Seen:DateTime<TAB>Done:YesNo
//   1<TAB>山田<TAB>\N<TAB>12.5<TAB>2026/11/05 9:30:05<TAB>True
//
// Types: Long, Integer, Double, Currency, DateTime, YesNo, Memo, Text(n) (Text alone is Text(255)).
// Values: \N is NULL; \t, \n, \r and \\ stand for tab, line feed, carriage return, backslash.
// Dates: yyyy/mm/dd or yyyy-mm-dd, optionally followed by a blank and h:mm[:ss]. Yes/No: True,
// False, 1, 0. A trailing carriage return on a line is ignored.
#ifndef TOOLS_TSV_TABLE_H_
#define TOOLS_TSV_TABLE_H_

#include <string>
#include <string_view>

#include "tools/jet_writer.h"

namespace jet {

// Parses `text` and writes it as table `name` to `writer`. Fails with the line number and the
// reason when a line does not fit the header.
Status AddTsvTable(DatabaseWriter* writer, const std::string& name, std::string_view text);

}  // namespace jet

#endif  // TOOLS_TSV_TABLE_H_
