#include "common/backup.h"

#include <cstdio>

#include "common/file_helper.h"
#include "common/texts.h"
#include "common/version_info.h"

namespace common {
namespace {

// Every successful copy is logged anew; the log folder is made when missing. A log line that
// cannot be written throws IoError, which ends the backup.
void LogCopy(Env& env, const std::string& text) {
  const std::string folder = env.ProgramFolder() + texts::kLogFolderName;
  if (!DirectoryExists(folder)) CreateDir(folder);
  env.WrtLog(folder + texts::kBackupLogName, text);
}

// The folder part of a path, with its trailing "/"; empty for an empty path.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A file beside the database file, whatever the database file is called; nothing without one.
std::string BesideDatabase(const std::string& database, const char* name) {
  return database.empty() ? std::string() : FolderOf(database) + name;
}

// The version text becomes part of a file name: a "/" in it must not lead out of the folder.
std::string VersionForName(std::string version) {
  for (char& c : version) {
    if (c == '/') c = '_';
  }
  return version;
}

}  // namespace

std::string FormatBackupStamp(const LocalDateTime& when) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d%02d%02d%02d", when.year, when.month,
                when.day, when.hour, when.minute, when.second);
  return buffer;
}

bool BackUpPro(Env& env, std::string_view pstLog, int32_t pinKbn) {
  bool result = false;
  const std::string mstDataPath = env.IFReadIniStr(texts::kSectionData, texts::kKeyDataBaseName, "");
  std::string mstBkPath = env.IFReadIniStr(texts::kSectionParam, texts::kKeyBackup, "");
  const std::string& program_folder = env.ProgramFolder();
  if (mstBkPath.empty()) {
    // Only the default folder is made; a configured one is used as it is.
    mstBkPath = program_folder + texts::kDefaultBackupFolder;
    if (!DirectoryExists(mstBkPath)) CreateDir(mstBkPath);
  }
  const std::string prefix =
      pinKbn == texts::kBackupKindUser ? texts::kBackupPrefixUser : texts::kBackupPrefixDefault;
  const std::string stamp = FormatBackupStamp(env.Now());
  const std::string occasion = std::string(pstLog) + ":\"";

  const std::string database_copy = prefix + stamp + texts::kBackupDatabaseExtension;
  if (CopyFileAtomic(mstDataPath, mstBkPath + database_copy)) {
    LogCopy(env, occasion + database_copy + "\"" + texts::kBackupDoneNamed);
    result = true;
  }

  const std::string settings_copy = prefix + stamp + texts::kBackupSettingsExtension;
  if (CopyFileAtomic(BesideDatabase(mstDataPath, texts::kSettingsFileName), mstBkPath + settings_copy)) {
    LogCopy(env, occasion + settings_copy + "\"" + texts::kBackupDoneNamed);
    result = true;
  }

  const std::string mstBkPath3 = mstBkPath + texts::kProgramBackupFolder;
  if (!DirectoryExists(mstBkPath3)) CreateDir(mstBkPath3);

  const std::string main_version =
      VersionForName(GetEXEDLLVersionInfo2(program_folder + texts::kMainProgramName));
  if (CopyFileAtomic(BesideDatabase(mstDataPath, texts::kMainProgramName),
                     mstBkPath3 + texts::kMainProgramBackupName + main_version)) {
    LogCopy(env, occasion + texts::kBackupDoneMainProgram);
    result = true;
  }

  const std::string updater_version =
      VersionForName(GetEXEDLLVersionInfo2(program_folder + texts::kUpdaterProgramName));
  if (CopyFileAtomic(BesideDatabase(mstDataPath, texts::kUpdaterProgramName),
                     mstBkPath3 + texts::kUpdaterProgramBackupName + updater_version)) {
    LogCopy(env, occasion + texts::kBackupDoneUpdater);
    result = true;
  }
  return result;
}

}  // namespace common
