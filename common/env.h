// Everything a run reaches outside its own memory, in one object handed to the flows and to
// whatever they construct: the program folder and its user.ini, the activity logs, the clock and
// the free space of a file system. SystemEnv is the real world; tests hand in a TestEnv
// (common/test_env.h) that works in a temporary folder with a clock they set.
#ifndef COMMON_ENV_H_
#define COMMON_ENV_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/regional_format.h"

namespace common {

class Env {
 public:
  virtual ~Env() = default;

  // The program folder, with a trailing "/": user.ini, the logs and the files the programs write.
  virtual const std::string& ProgramFolder() const = 0;

  // The value of key `pSKey` in section `pMKey` of the program folder's user.ini, or `pDef`
  // when the file, the section or the key is missing or unreadable.
  virtual std::string IFReadIniStr(std::string_view pMKey, std::string_view pSKey,
                                   std::string_view pDef) = 0;
  // Sets one value in the program folder's user.ini. Throws SettingsWriteError.
  virtual void IFWriteIniStr(std::string_view pMKey, std::string_view pSKey,
                             std::string_view pPara) = 0;

  // Appends one line, stamped with Now(), to the log file `pstFile` (a whole path). Throws IoError.
  virtual void WrtLog(const std::string& pstFile, std::string_view pstLog) = 0;

  // The current local date and time.
  virtual LocalDateTime Now() = 0;

  // Bytes free for this user on the file system holding `folder`; 0 when it cannot be asked.
  virtual uint64_t AvailableDiskSpace(const std::string& folder) = 0;
};

// The real world, around the program folder given (normally common::ProgramFolder()).
class SystemEnv : public Env {
 public:
  // A trailing "/" is added to `program_folder` when missing.
  explicit SystemEnv(std::string program_folder);

  const std::string& ProgramFolder() const override { return program_folder_; }
  std::string IFReadIniStr(std::string_view pMKey, std::string_view pSKey,
                           std::string_view pDef) override;
  void IFWriteIniStr(std::string_view pMKey, std::string_view pSKey,
                     std::string_view pPara) override;
  void WrtLog(const std::string& pstFile, std::string_view pstLog) override;
  LocalDateTime Now() override;
  uint64_t AvailableDiskSpace(const std::string& folder) override;

 private:
  std::string program_folder_;
};

}  // namespace common

#endif  // COMMON_ENV_H_
