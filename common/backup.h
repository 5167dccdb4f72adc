// The pre-update backup of the main application's database, settings and program files.
#ifndef COMMON_BACKUP_H_
#define COMMON_BACKUP_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/env.h"
#include "common/regional_format.h"

namespace common {

// Copies the database named by [Data] DataBaseName, the user.ini, Norvik.exe and Tolvan.exe
// beside it into the backup folder, logging each successful copy to Log/backup.log. The
// program folder, user.ini, the log and the time stamp of the backup names (env.Now()) all
// come from `env`. Returns true when at least one copy succeeded. Throws IoError when a log
// line cannot be written (the later copies are then not tried).
bool BackUpPro(Env& env, std::string_view pstLog, int32_t pinKbn);

// The time stamp of the database copies: "2024-05-01093005" for 9:30:05 on 1 May 2024.
std::string FormatBackupStamp(const LocalDateTime& when);

}  // namespace common

#endif  // COMMON_BACKUP_H_
