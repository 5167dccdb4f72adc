// The fixed names and texts of Kavel's database access: the default database, its log line, the
// tables the templates read, and the provider's messages a row source reports.
#ifndef KAVEL_MDB_TEXTS_H_
#define KAVEL_MDB_TEXTS_H_

namespace kavel {

inline constexpr char kDefaultDatabaseName[] = "Data.Rpt";  // in the program folder
inline constexpr char kLogDatabaseSource[] = "DBsource:%s";  // program folder + Data.Rpt

// Tables behind ADOQuery1, ADOQuery3 and ADOQuery4, each read in ascending order of kSortColumn.
inline constexpr char kTableRepChk[] = "RepChk";
inline constexpr char kTableRep[] = "Rep";
inline constexpr char kTableRepChkList[] = "RepChkList";
inline constexpr char kSortColumn[] = "num";

// The Jet provider's messages, as the engine's error box shows them. A missing table ("%s" is
// the table's name):
inline constexpr char kMessageTableMissing[] =
    "The Microsoft Jet database engine cannot find the input table or query '%s'.  Make sure it "
    "exists and that its name is spelled correctly.";
// An unknown column in the statement (here the sort column) is taken for a parameter.
inline constexpr char kMessageMissingParameter[] = "No value given for one or more required parameters.";
// A table whose pages cannot be read ("%s" is the database's path):
inline constexpr char kMessageDamaged[] = "Unrecognized database format '%s'.";
inline constexpr char kMessageConnectionClosed[] = "Operation is not allowed when the object is closed.";

// Null values of a row, converted as the engine prints them.
inline constexpr char kNullText[] = "";
inline constexpr char kNullNumber[] = "0";
inline constexpr char kTrueText[] = "True";
inline constexpr char kFalseText[] = "False";

}  // namespace kavel

#endif  // KAVEL_MDB_TEXTS_H_
