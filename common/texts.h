// The fixed names and texts of the common support library, in one place.
#ifndef COMMON_TEXTS_H_
#define COMMON_TEXTS_H_

namespace common::texts {

// Files and folders, relative to the program folder.
inline constexpr char kSettingsFileName[] = "user.ini";
inline constexpr char kSettingsLockSuffix[] = ".lock";  // "user.ini.lock" beside user.ini
inline constexpr char kLogFolderName[] = "Log";
inline constexpr char kBackupLogName[] = "/backup.log";
inline constexpr char kDefaultBackupFolder[] = "BKData/";
inline constexpr char kProgramBackupFolder[] = "PGM";
inline constexpr char kMainProgramName[] = "Norvik.exe";
inline constexpr char kUpdaterProgramName[] = "Tolvan.exe";

// Settings keys read by the backup.
inline constexpr char kSectionData[] = "Data";
inline constexpr char kKeyDataBaseName[] = "DataBaseName";
inline constexpr char kSectionParam[] = "PARAM";
inline constexpr char kKeyBackup[] = "BACKUP";

// "<path> に書き込めません": user.ini could not be written.
inline constexpr char kSettingsWriteErrorSuffix[] = " に書き込めません";

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
