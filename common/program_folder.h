// The program folder: the folder of the running executable (symbolic links resolved), with a
// trailing "/". Every file name the programs use is relative to it.
#ifndef COMMON_PROGRAM_FOLDER_H_
#define COMMON_PROGRAM_FOLDER_H_

#include <string>

namespace common {

// Returns the program folder, taken anew from /proc/self/exe on every call unless a test has
// overridden it. Always ends with "/".
std::string ProgramFolder();

// Makes ProgramFolder() return `folder` (a trailing "/" is added when missing) until cleared
// with an empty text. For unit tests only; the programs never call it.
void OverrideProgramFolderForTesting(const std::string& folder);

}  // namespace common

#endif  // COMMON_PROGRAM_FOLDER_H_
