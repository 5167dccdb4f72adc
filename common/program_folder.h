// The program folder: the folder of the path the program was started by, with a trailing "/".
// Every file name the programs use is relative to it. A link to the program placed in another
// folder makes that folder the program folder, so one installation can serve several
// main-application folders; the files the program ships with it (its window module) are found
// beside the real program file instead (ProgramFileFolder()).
#ifndef COMMON_PROGRAM_FOLDER_H_
#define COMMON_PROGRAM_FOLDER_H_

#include <string>

namespace common {

// Returns the program folder: the folder of the path given to exec (which the shell or the caller has already looked up in PATH), else of argv[0] (a bare
// name looked up in PATH), as long as that path names the running program; else the folder of
// the running program file. Absolute (relative start paths are taken against the working folder
// at start), links in the folder part kept as they are, always ending with "/".
std::string ProgramFolder();

// The folder of the running program file itself (/proc/self/exe, links resolved), with a
// trailing "/": where the files installed with the program lie.
std::string ProgramFileFolder();

// The folder ProgramFolder() would derive from a start path: `exec_path` (the path given to
// exec, may be empty), `argv0`, the working folder at start `cwd`, the search list `path_env`
// and the running program file `self`. Exposed for tests.
std::string ProgramFolderFrom(const std::string& exec_path, const std::string& argv0,
                              const std::string& cwd, const std::string& path_env,
                              const std::string& self);

}  // namespace common

#endif  // COMMON_PROGRAM_FOLDER_H_
