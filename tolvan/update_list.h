// The update list UList: one record per line naming a file of the program folder and its
// latest version. Reading it decides whether a program update and whether a master-database
// update is due, and gives the latest main-application version for the installer check.
#ifndef TOLVAN_UPDATE_LIST_H_
#define TOLVAN_UPDATE_LIST_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/env.h"

namespace tolvan {

// Splits one line of the list into its fields: blanks and control characters separate fields
// as commas do, a field in double quotes keeps its blanks and commas ("" inside stands for one
// quote), a comma ending the line adds one empty field. An empty or blank line has no fields.
std::vector<std::string> SplitListRecord(std::string_view line);

// Splits the bytes of a list file into lines (CR LF, a lone CR or a lone LF end a line),
// decoded from CP932 to UTF-8 (from UTF-8 when the file starts with a UTF-8 byte-order mark).
std::vector<std::string> ReadListLines(std::string_view file_bytes);

// A file name of the list that stays inside the program folder: not empty, no path separator
// and no "..".
bool IsPlainFileName(std::string_view name);

// The outcome of UListChk.
struct ListDecision {
  int32_t result = 0;      // 1 when at least one listed file is newer than the installed one
  int32_t pinPKbn = 0;     // 1 when a newer program file is listed
  int32_t pinMKbn = 0;     // 1 when a newer MST.FDB is listed
  std::string gstSetupVer; // field 2 (trimmed) of the last "Norvik.exe" record; else unchanged
};

// The comparison of UListChk on a list in memory. `installed_version` gives the installed
// version text of a listed file of the program folder, or nothing when the folder has no such
// file; `log` takes each log line, from the start line to the end line.
ListDecision CheckList(std::string_view list_bytes,
                       const std::function<std::optional<std::string>(const std::string& name)>&
                           installed_version,
                       const std::function<void(const std::string& line)>& log,
                       const std::string& setup_ver);

// Reads pstDownloadPath + "UList" and compares each listed file that exists in the program
// folder of `env` with its installed version ([PARAM] DBVERSION for MST.FDB, the version resource for
// the others), logging each comparison to `log_path`. `setup_ver` is the current gstSetupVer,
// returned unchanged unless the list has a "Norvik.exe" record. Records with a single field and
// names that would leave the program folder take no part. A missing list gives result 0 and
// the log line "<path>なし". Throws common::IoError when a log line cannot be written.
ListDecision UListChk(common::Env& env, const std::string& pstDownloadPath,
                      const std::string& log_path, const std::string& setup_ver);

}  // namespace tolvan

#endif  // TOLVAN_UPDATE_LIST_H_
