// The pre-update backup of the main application's database, settings and program files.
#ifndef COMMON_BACKUP_H_
#define COMMON_BACKUP_H_

#include <cstdint>
#include <string_view>

namespace common {

// Copies the database named by [Data] DataBaseName, the user.ini, Norvik.exe and Tolvan.exe
// beside it into the backup folder, logging each successful copy to Log/backup.log.
// Returns true when at least one copy succeeded. Throws IoError when a log line cannot be
// written (the later copies are then not tried).
bool BackUpPro(std::string_view pstLog, int32_t pinKbn);

}  // namespace common

#endif  // COMMON_BACKUP_H_
