// The fixed names and texts of the common support library, in one place.
#ifndef COMMON_TEXTS_H_
#define COMMON_TEXTS_H_

#include <cstddef>

namespace common::texts {

// Files and folders, relative to the program folder.
inline constexpr char kSettingsFileName[] = "user.ini";
// The lock file earlier versions left beside user.ini ("user.ini.lock"); removed when found.
inline constexpr char kOldSettingsLockSuffix[] = ".lock";
inline constexpr char kLogFolderName[] = "Log";
inline constexpr char kBackupLogName[] = "/backup.log";
inline constexpr char kDefaultBackupFolder[] = "BKData/";
inline constexpr char kDefaultProgramBackupFolder[] = "BKData/PGM/";
inline constexpr char kDownloadFolderName[] = "DownLoad/";
inline constexpr char kProgramBackupFolder[] = "PGM";
inline constexpr char kMainProgramName[] = "Norvik.exe";
inline constexpr char kUpdaterProgramName[] = "Tolvan.exe";

// Display servers, tried before Qt is loaded (display_probe.h).
inline constexpr int kDisplayConnectTimeoutMs = 3000;        // per connection attempt
inline constexpr size_t kWaylandProbeMaxBytes = 64 * 1024;  // events read before the answer
inline constexpr int kX11TcpBasePort = 6000;                // + display number
// The Qt platforms that need a display server; QT_QPA_PLATFORM may name others (offscreen).
inline constexpr char kQtPlatformWayland[] = "wayland";
inline constexpr char kQtPlatformX11[] = "xcb";

// Settings keys read by the backup.
inline constexpr char kSectionData[] = "Data";
inline constexpr char kKeyDataBaseName[] = "DataBaseName";
inline constexpr char kSectionParam[] = "PARAM";
inline constexpr char kKeyBackup[] = "BACKUP";

// user.ini could not be written ("%s" is its path).
inline constexpr char kSettingsWriteError[] = "%s に書き込めません";

// Why a file copy failed, in words for the log and the user.
inline constexpr char kReasonDiskFull[] = "ディスクの空き容量が不足しています";
inline constexpr char kReasonReadOnly[] = "読み取り専用のファイルです";
inline constexpr char kReasonNoPermission[] = "書き込みの権限がありません";
inline constexpr char kReasonMissing[] = "ファイルがありません";

// Backup names and log texts.
inline constexpr char kBackupPrefixUser[] = "USR";   // kind 2
inline constexpr char kBackupPrefixDefault[] = "NV";  // every other kind
inline constexpr int kBackupKindUser = 2;
inline constexpr char kBackupDatabaseExtension[] = ".FDB";
inline constexpr char kBackupSettingsExtension[] = ".ini";
inline constexpr char kMainProgramBackupName[] = "/Norvik_";
inline constexpr char kUpdaterProgramBackupName[] = "/Tolvan_";
// "<occasion>:"<name>"名でバックアップ完了"
inline constexpr char kBackupDoneNamed[] = "名でバックアップ完了";
// The program lines have no closing quotation mark: <occasion>:"Norvik.exeバックアップ完了
inline constexpr char kBackupDoneMainProgram[] = "Norvik.exeバックアップ完了";
inline constexpr char kBackupDoneUpdater[] = "Tolvan.exeバックアップ完了";

}  // namespace common::texts

#endif  // COMMON_TEXTS_H_
