// The shared settings file: program folder + "user.ini", read and written one value at a time
// in the format of the Windows private-profile functions that the main application uses on the
// same file. Nothing is cached.
#ifndef COMMON_SETTINGS_H_
#define COMMON_SETTINGS_H_

#include <stdexcept>
#include <string>
#include <string_view>

namespace common {

// Raised by IFWriteIniStr when user.ini cannot be written. what() is
// "<path> に書き込めません" (texts::kSettingsWriteError).
class SettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the value of key `pSKey` in section `pMKey` of user.ini, or `pDef` when the file, the
// section or the key does not exist. Names match without regard to ASCII case; the value comes
// back trimmed, without one pair of enclosing quotes, at most 2047 characters. Never throws and
// never blocks for long.
std::string IFReadIniStr(std::string_view pMKey, std::string_view pSKey, std::string_view pDef);

// Sets key `pSKey` in section `pMKey` to `pPara` (an empty value keeps the key), creating the
// file, section and key as needed and keeping every other line as it was. The file is replaced
// atomically under an advisory lock so that concurrent writers lose nothing.
// Throws SettingsWriteError on failure.
void IFWriteIniStr(std::string_view pMKey, std::string_view pSKey, std::string_view pPara);

// The same two on the user.ini of `folder` (ending with "/") instead of the program folder's.
std::string ReadIniStrIn(const std::string& folder, std::string_view pMKey, std::string_view pSKey,
                         std::string_view pDef);
void WriteIniStrIn(const std::string& folder, std::string_view pMKey, std::string_view pSKey,
                   std::string_view pPara);

}  // namespace common

#endif  // COMMON_SETTINGS_H_
